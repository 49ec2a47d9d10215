// What every mode of panel-sim works with: the harness (board and processor), the workbench on
// it, the one view of the panel's state, and the emulated core when the real image runs.
#pragma once

#include "arm_core.hpp"
#include "panel_harness.hpp"
#include "panel_view.hpp"

namespace app {

class Workbench;
class Debugger;

struct Session {
    sim::PanelHarness& panel;
    Workbench& bench;
    const PanelView& view;
    sim::arm::ArmCore* image = nullptr;  // with --image
    Debugger* debugger = nullptr;  // with --gdb
};

// One line describing the panel's state.
std::string StatusLine(const Session& session);

}  // namespace app
