// Scripted runs of the panel: a text file of commands, one per line.
//
//   wait MS                 run MS of virtual time
//   touch X Y               finger down at screen point (X, Y), or moved there
//   release                 finger up
//   tap X Y [MS]            touch, run MS (default 150), release, run 150
//   screenshot FILE         save the screen as a PNG
//   expect-pixel X Y RRGGBB fail unless the screen shows this colour at (X, Y)
//   status                  print a status line
// and the scenario commands of image_run.hpp (modbus-log, module-fault, module-process,
// screen-changes).
// Blank lines and lines starting with '#' are ignored.
#pragma once

#include <iosfwd>
#include <string>

#include "panel_harness.hpp"

namespace app {

// Runs the script; returns 0 when every command succeeded, else 1 (with the reason on stderr).
int RunScript(sim::PanelHarness& panel, std::istream& script, const std::string& name);

// One line describing the panel's state.
std::string StatusLine(sim::PanelHarness& panel);

}  // namespace app
