// Scripted runs of the panel: a text file of the bench's commands (commands.hpp; the README's
// table, or panel-sim --list-commands), one per line. Blank lines and lines starting with '#'
// are ignored. The whole script is read and checked (files it would write included) before
// anything runs; script_reader.hpp reads the text.
#pragma once

#include <iosfwd>
#include <string>

#include "commands.hpp"
#include "script_reader.hpp"
#include "session.hpp"

namespace app {

// Reads the whole script and checks every line. On a mistake returns false and sets `error` to
// one line naming the script, the line number and what is wrong.
bool CheckScript(std::istream& script, const std::string& name, const CommandContext& context,
                 std::string& error);

// Reads the script again and runs it; returns 0 when every command succeeded, else 1 (with the
// reason on stderr). Waits that follow each other run as one span of virtual time, without
// the harness stopping the firmware between them.
int RunScript(Session& session, const ScriptSource& source, const std::string& name);

}  // namespace app
