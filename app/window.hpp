// The panel in a window: the display model's picture, the mouse as a finger on the touch panel,
// virtual time paced to the wall clock.
#pragma once

#include <string>

#include "options.hpp"
#include "panel_harness.hpp"
#include "session.hpp"

namespace app {

// Returns the process exit code; -1 if no window could be opened (the reason has been printed
// in one line). `linePeer` names what UART1 is wired to when it is not the module model.
int RunWindow(Session& session, const Options& options, const std::string& linePeer);

// The next screenshot name in the current folder that no file has yet: panel-001.png, ...
std::string NextScreenshotName();

}  // namespace app
