// Scripted runs of the panel: a text file of commands, one per line.
//
//   wait MS                 run MS of virtual time
//   touch X Y               finger down at screen point (X, Y), or moved there
//   release                 finger up
//   tap X Y [MS]            touch, run MS (default 150), release, run 150
//   screenshot FILE         save the screen as a PNG (FILE relative to the current folder)
//   expect-pixel X Y RRGGBB fail unless the screen shows this colour at (X, Y)
//   status                  print a status line
// and the scenario commands of image_run.hpp (modbus-log, module-fault, module-process,
// screen-changes), whose arguments are checked when they run.
// and the workbench's (see workbench.hpp): fault KIND, register ADDRESS|NAME VALUE,
// serial-in MS HH HH ...
// Blank lines and lines starting with '#' are ignored. X is 0-319, Y 0-239, MS a number of
// milliseconds. The whole script is read and checked before anything runs.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "panel_harness.hpp"
#include "session.hpp"

namespace app {

struct ScriptCommand {
    enum class Kind {
        Wait,
        Touch,
        Release,
        Tap,
        Screenshot,
        ExpectPixel,
        Status,
        Scenario,
        Workbench
    };
    Kind kind = Kind::Status;
    int line = 0;
    int x = 0;
    int y = 0;
    double ms = 0;
    uint32_t rgb = 0;
    std::string file;
    std::string text;                // a scenario command's whole line
    std::vector<std::string> words;  // a workbench command as written
};

// Reads the whole script. On a mistake returns nothing and sets `error` to one line naming the
// script, the line number and what is wrong.
std::optional<std::vector<ScriptCommand>> ParseScript(std::istream& script,
                                                      const std::string& name, std::string& error);

// Runs parsed commands; returns 0 when every command succeeded, else 1 (with the reason on
// stderr).
int RunScript(Session& session, const std::vector<ScriptCommand>& commands,
              const std::string& name);

}  // namespace app
