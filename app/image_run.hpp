// panel-sim with the real firmware image (--image): the image loaded onto the board, its core
// fitted to the harness, and the functions measured on it.
#pragma once

#include <string>

#include "arm_core.hpp"
#include "panel_harness.hpp"

namespace app {

// The firmware routine whose calls are the screen changes.
inline constexpr const char* kScreenChange = "hmi_GotoFrame";

// Loads the image (read from `path`) onto the panel's board and fits its core to the harness;
// null (with the reason on stderr) if it cannot.
sim::arm::ArmCore* AttachImage(sim::PanelHarness& panel, sim::arm::FirmwareImage image,
                               const std::string& path);

}  // namespace app
