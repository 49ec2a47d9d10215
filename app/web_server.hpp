// The panel in a browser: `panel-sim --web PORT` serves a page on the loopback address with the
// live screen, the pointer or a finger as the panel's finger, the module's registers (shown and
// settable), the fault buttons and the Modbus monitor.
#pragma once

#include "options.hpp"
#include "panel_harness.hpp"
#include "session.hpp"
#include "workbench.hpp"

namespace app {

// Runs until interrupted (Ctrl-C or SIGTERM); returns the process exit code.
int RunWeb(Session& session, const Options& options);

// The page itself.
extern const char* const kWebPage;

}  // namespace app
