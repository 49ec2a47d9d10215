// The script parser on any text. The check before a run either accepts the script or refuses it
// with one line "NAME:LINE: ..." naming a line the text has; it accepts exactly the scripts whose
// every line parses. A command the recorder writes, written and read again, is written the same
// way again (a recording replays as itself).
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "commands.hpp"
#include "fuzz_support.hpp"
#include "script.hpp"
#include "script_reader.hpp"

namespace {

constexpr const char* kName = "fuzz.script";

// The file names of screenshot and modbus-log lines are checked against the file system: the
// target keeps them inside the working folder (no '/'), so that no check reaches a device.
std::string ScriptText(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (char& c : text) {
        c = c == '/' ? '_' : c;
    }
    return text;
}

// The parse leaves the file system alone; the check before a run looks at it too.
const app::CommandContext kContext{false, true};
const app::CommandContext kCheckContext{true, true};

// Every line's command, or the first refusal ("NAME:LINE: ...").
struct Parsed {
    std::vector<app::Command> commands;
    std::string error;
};

Parsed ParseAll(const std::string& text) {
    std::istringstream in(text);
    app::ScriptReader reader(in, kName);
    app::ScriptLine line;
    Parsed parsed;
    while (reader.next(line)) {
        try {
            parsed.commands.push_back(app::ParseCommand(line.words, kContext));
        } catch (const cli::UsageError& e) {
            parsed.error = reader.where(line.number) + e.message;
            return parsed;
        }
    }
    parsed.error = reader.error();
    return parsed;
}

int Lines(const std::string& text) {
    int lines = 1;
    for (const char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

// "fuzz.script:N:" with 1 <= N <= the text's lines; returns N.
long CheckRefusal(const std::string& error, const std::string& text) {
    const std::string prefix = std::string(kName) + ":";
    FUZZ_CHECK(error.rfind(prefix, 0) == 0);
    FUZZ_CHECK(error.find('\n') == std::string::npos);
    size_t at = prefix.size();
    long line = 0;
    while (at < error.size() && error[at] >= '0' && error[at] <= '9' && line <= 1L << 40) {
        line = line * 10 + (error[at++] - '0');
    }
    FUZZ_CHECK(at < error.size() && error[at] == ':');
    FUZZ_CHECK(line >= 1 && line <= Lines(text));
    return line;
}

// What the recorder writes for a command is read back as a command it writes the same way.
void CheckRoundTrip(const std::vector<app::Command>& commands) {
    for (const app::Command& command : commands) {
        if (command.entry->recorded == nullptr) {
            continue;
        }
        const std::string line = command.entry->recorded(command);
        app::Command again;
        try {
            again = app::ParseCommand(app::SplitCommandLine(line), kContext);
        } catch (const cli::UsageError&) {
            FUZZ_CHECK(!"a recorded line is refused");
        }
        FUZZ_CHECK(again.entry == command.entry);
        FUZZ_CHECK(again.entry->recorded(again) == line);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = ScriptText(data, size);
    std::istringstream in(text);
    std::string error;
    const bool accepted = app::CheckScript(in, kName, kCheckContext, error);
    const Parsed parsed = ParseAll(text);
    if (!accepted) {
        const long line = CheckRefusal(error, text);
        // The first wrong line, or an earlier one naming a file that cannot be written (the
        // only check the parse without the file system leaves out).
        if (!parsed.error.empty()) {
            const long parsedLine = CheckRefusal(parsed.error, text);
            FUZZ_CHECK(line <= parsedLine);
            FUZZ_CHECK(line < parsedLine || error == parsed.error);
        }
        return 0;
    }
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(parsed.error.empty());
    CheckRoundTrip(parsed.commands);
    return 0;
}
