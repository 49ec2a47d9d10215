// The panel in a window: the display model's picture, the mouse as a finger on the touch panel,
// virtual time paced to the wall clock.
#pragma once

#include "options.hpp"
#include "panel_harness.hpp"

namespace app {

// Returns the process exit code; -1 if no window could be opened.
int RunWindow(sim::PanelHarness& panel, const Options& options);

}  // namespace app
