// The key click.
#pragma once

#include <cstdint>

// 784 Hz from tick 0 to tick 24, silent from tick 25 (125 ms).
extern const uint16_t g_pusKeyClick[4];

void hmi_Beep();
