// A debugger's `monitor` commands: the bench's own commands (those of a script), plus the
// debugger's own: help and clock.
#pragma once

#include <string>

#include "session.hpp"

namespace app {

// Runs one command line; the text to show the debugger's user (what the command printed, or why
// it failed).
std::string RunMonitorCommand(Session& session, const std::string& line);

}  // namespace app
