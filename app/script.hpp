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
// milliseconds. The whole script is read and checked (files it would write included) before
// anything runs; script_reader.hpp reads the text.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "panel_harness.hpp"
#include "script_reader.hpp"
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

// One line's command, checked; a mistake throws cli::UsageError. `checkFiles`: also whether
// the files it would write can be (in the check before the run).
ScriptCommand ParseCommand(const ScriptLine& line, bool checkFiles);

// Reads the whole script and checks every line. On a mistake returns false and sets `error` to
// one line naming the script, the line number and what is wrong.
bool CheckScript(std::istream& script, const std::string& name, std::string& error);

// Runs one command; 0 when it succeeded, else 1 with the reason in `error` (or, without one,
// printed with the script's name and line).
int RunScriptCommand(Session& session, const ScriptCommand& c, const std::string& name,
                     std::string* error);

// Reads the script again and runs it; returns 0 when every command succeeded, else 1 (with the
// reason on stderr). Waits that follow each other run as one span of virtual time, without
// the harness stopping the firmware between them.
int RunScript(Session& session, const ScriptSource& source, const std::string& name);

}  // namespace app
