// What the simulated panel is fitted with, beyond the microcontroller.
#pragma once

#include "display_module.hpp"

namespace sim {

struct PanelConfig {
    DisplayController controller = DisplayController::HX8347A;
    // The parameter area holds a block with the touch calibration matching the touch panel
    // (written by the project's parameter-block writer); false leaves the area erased.
    bool touchCalibrationStored = true;
};

}  // namespace sim
