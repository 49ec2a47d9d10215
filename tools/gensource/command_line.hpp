// The command line a generator was run with, for the top of the source it writes, so that
// whoever reads the source can run it again.
#pragma once

#include <string>

namespace gensource {

// argv joined by spaces, each argument quoted for a POSIX shell where it needs to be.
std::string CommandLine(int argc, const char* const* argv);

// The comment line that carries it: "// $ " and the command. The regeneration checks skip
// lines that start so, since their paths differ from the committed run's.
std::string CommandComment(const std::string& commandLine);

}  // namespace gensource
