#include "command_line.hpp"

namespace gensource {

namespace {

bool NeedsQuotes(const std::string& argument) {
    if (argument.empty()) {
        return true;
    }
    for (const char c : argument) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') ||
                           std::string("_-./=:,+@%").find(c) != std::string::npos;
        if (!plain) {
            return true;
        }
    }
    return false;
}

std::string Quoted(const std::string& argument) {
    if (!NeedsQuotes(argument)) {
        return argument;
    }
    std::string quoted = "'";
    for (const char c : argument) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

std::string CommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        line += (i == 0 ? "" : " ") + Quoted(argv[i]);
    }
    return line;
}

std::string CommandComment(const std::string& commandLine) {
    return "// $ " + commandLine + "\n";
}

}  // namespace gensource
