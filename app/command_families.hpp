// The registry's families, each in its own file: the panel's (time, finger, screen), the
// module's and the line's, and the image's measurements.
#pragma once

#include <vector>

#include "commands.hpp"

namespace app {

std::vector<CommandEntry> PanelCommands();
std::vector<CommandEntry> ModuleCommands();
std::vector<CommandEntry> ImageCommands();

// Joins words with single spaces, for recorded lines.
std::string JoinWords(const std::vector<std::string>& words);
// FILE, the one argument of a command that writes it: checked writable before the run.
void CheckOutputFile(const CommandWords& words, Command& c, const CommandContext& context,
                     const char* name);

}  // namespace app
