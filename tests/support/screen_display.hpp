// Unit-test support for screen code: a recording display put behind g_sDisplayDriverROM, as
// display start-up would put the panel driver there, so that screens can be built, painted and
// inspected without the bus and the display model.
#pragma once

#include "display/hmi_Init.hpp"
#include "graphics/image.hpp"
#include "support/recording_display.hpp"

namespace testsupport {

inline void UseAsPanel(RecordingDisplay& display) {
    g_sDisplayDriverROM = *display.driver();
    hmi_DrawImage = GrImageDraw;
}

}  // namespace testsupport
