#include "debugger_monitor.hpp"

#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "cli.hpp"
#include "script.hpp"

namespace app {

namespace {

constexpr const char* kHelp =
    "The bench's commands, as in a script (they run the firmware where they wait):\n"
    "  tap X Y [MS]   touch X Y   release   wait MS   status   screenshot FILE\n"
    "  expect-pixel X Y RRGGBB   fault KIND   register ADDRESS|NAME VALUE\n"
    "  serial-in MS HH ...   module-fault KIND [N]   module-process run|stop\n"
    "  modbus-log FILE   profile [N]   calls FUNCTION   screen-changes\n"
    "and the debugger's:\n"
    "  clock          virtual time, instructions and estimated cycles since reset\n"
    "  help           this text\n"
    "A breakpoint a command's run meets stops it there; GDB reports that stop at the next\n"
    "continue (keep breakpoints in the target while halted: set breakpoint always-inserted on).\n";

// What the commands print to standard output, kept for the debugger instead: they are the
// script's and print as a script runs.
class CapturedOutput {
  public:
    CapturedOutput() {
        std::fflush(stdout);
        file_ = std::tmpfile();
        saved_ = dup(STDOUT_FILENO);
        if (file_ != nullptr && saved_ >= 0) {
            dup2(fileno(file_), STDOUT_FILENO);
        }
    }
    ~CapturedOutput() { restore(); }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    std::string take() {
        restore();
        std::string text;
        if (file_ != nullptr) {
            std::rewind(file_);
            char buffer[4096];
            size_t n = 0;
            while ((n = std::fread(buffer, 1, sizeof(buffer), file_)) > 0) {
                text.append(buffer, n);
            }
            std::fclose(file_);
            file_ = nullptr;
        }
        return text;
    }

  private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }
    std::FILE* file_ = nullptr;
    int saved_ = -1;
};

std::string Clock(const Session& session) {
    char text[160];
    const double ms = session.panel.nowMs();
    std::snprintf(text, sizeof(text), "t=%llu ps (%.6f ms)  instructions=%llu  cycles~%llu\n",
                  static_cast<unsigned long long>(session.panel.board().scheduler().nowPs()), ms,
                  static_cast<unsigned long long>(session.image->instructions()),
                  static_cast<unsigned long long>(session.image->cycles()));
    return text;
}

}  // namespace

std::string RunMonitorCommand(Session& session, const std::string& line) {
    ScriptLine words;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        words.words.push_back(word);
    }
    if (words.words.empty() || words.words[0] == "help") {
        return kHelp;
    }
    if (words.words[0] == "clock") {
        return Clock(session);
    }
    ScriptCommand command;
    try {
        command = ParseCommand(words, true);
    } catch (const cli::UsageError& e) {
        return e.message + " (monitor help lists the commands)\n";
    }
    std::string error;
    CapturedOutput output;
    const int result = RunScriptCommand(session, command, "monitor", &error);
    std::string text = output.take();
    if (result != 0) {
        text += error + "\n";
    }
    return text;
}

}  // namespace app
