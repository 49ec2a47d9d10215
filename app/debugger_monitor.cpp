#include "debugger_monitor.hpp"

#include <cstdio>

#include "commands.hpp"

namespace app {

namespace {

constexpr const char* kHelp =
    "The bench's commands, as in a script (panel-sim --list-commands has the table); those that\n"
    "wait run the held firmware for that long:\n"
    "  tap X Y [MS]   touch X Y   release   wait MS   status   screenshot FILE\n"
    "  fault KIND [N]   register NAME|NUMBER VALUE   serial-in MS HH ...   ...\n"
    "and the debugger's own:\n"
    "  clock          virtual time, instructions and estimated cycles since reset\n"
    "  help           this text\n"
    "A breakpoint that a command's run meets stops it there; GDB hears of that stop at the next\n"
    "continue (and keeps its breakpoints in the target while halted only with\n"
    "set breakpoint always-inserted on).\n";

std::string Clock(const Session& session) {
    char text[160];
    std::snprintf(text, sizeof(text), "t=%llu ps (%.6f ms)  instructions=%llu  cycles~%llu\n",
                  static_cast<unsigned long long>(session.panel.board().scheduler().nowPs()),
                  session.panel.nowMs(),
                  static_cast<unsigned long long>(session.image->instructions()),
                  static_cast<unsigned long long>(session.image->cycles()));
    return text;
}

}  // namespace

std::string RunMonitorCommand(Session& session, const std::string& line) {
    const size_t first = line.find_first_not_of(" \t");
    const std::string word =
        first == std::string::npos ? "" : line.substr(first, line.find_first_of(" \t", first) - first);
    if (word.empty() || word == "help") {
        return kHelp;
    }
    if (word == "clock") {
        return Clock(session);
    }
    const CommandResult result = RunCommandLine(session, line);
    return result.ok ? result.output : result.output + result.error + "\n";
}

}  // namespace app
