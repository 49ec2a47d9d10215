#include "sound/beep.hpp"

#include "sound/sound.hpp"

const uint16_t g_pusKeyClick[4] = {0, 784, 25, 40000};

void hmi_Beep() {
    SoundPlay(g_pusKeyClick, 4);
}
