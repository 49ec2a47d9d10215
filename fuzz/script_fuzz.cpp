// The script parser on any text. The check before a run either accepts the script or refuses it
// with one line "NAME:LINE: ..." naming a line the text has; it accepts exactly the scripts whose
// every line parses. The commands a recording writes (waits, the finger, faults, registers,
// characters from the peer), written back the way the recorder writes them and parsed again,
// are the same commands.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "fuzz_support.hpp"
#include "process.hpp"
#include "recorder.hpp"
#include "script.hpp"
#include "script_reader.hpp"

namespace {

using app::ScriptCommand;
using Kind = ScriptCommand::Kind;

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

// Every line's command, or the first refusal ("NAME:LINE: ...").
struct Parsed {
    std::vector<ScriptCommand> commands;
    std::string error;
};

Parsed ParseAll(const std::string& text) {
    std::istringstream in(text);
    app::ScriptReader reader(in, kName);
    app::ScriptLine line;
    Parsed parsed;
    while (reader.next(line)) {
        try {
            parsed.commands.push_back(app::ParseCommand(line, false));
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

sim::Picoseconds Picoseconds(double ms) {
    return static_cast<sim::Picoseconds>(std::llround(ms * static_cast<double>(sim::kPsPerMs)));
}

std::string Joined(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        line += (line.empty() ? "" : " ") + word;
    }
    return line;
}

// serial-in's bytes as the recorder writes them: two upper-case hex digits each.
std::vector<std::string> RecordedBytes(const std::vector<std::string>& words) {
    std::vector<std::string> bytes;
    for (size_t i = 2; i < words.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof(byte), "%02X",
                      static_cast<unsigned>(std::strtoul(words[i].c_str(), nullptr, 16)));
        bytes.push_back(byte);
    }
    return bytes;
}

// A workbench command as the recorder writes it: a register by its address and the value in
// decimal, serial-in's delay exact to the picosecond and its bytes as two upper-case digits.
std::string RecordedBench(const std::vector<std::string>& words) {
    if (words[0] == "register") {
        int address = -1;
        for (int i = 0; i < remote_io::kRegisterCount; ++i) {
            const int candidate = i + remote_io::kFirstRegister;
            if (words[1] == remote_io::NameOf(i) || words[1] == std::to_string(candidate)) {
                address = candidate;
            }
        }
        return "register " + std::to_string(address) + " " +
               std::to_string(cli::Whole(words[2], 0, 0xFFFF, "the value"));
    }
    if (words[0] == "serial-in") {
        const double ms = cli::Real(words[1], 0, 1e8, "MS");
        return "serial-in " + app::Recorder::Milliseconds(Picoseconds(ms)) + " " +
               Joined(RecordedBytes(words));
    }
    return Joined(words);
}

// The line the recorder writes for a command, or empty for one it never writes.
std::string Recorded(const ScriptCommand& c) {
    switch (c.kind) {
        case Kind::Wait:
            return "wait " + app::Recorder::Milliseconds(Picoseconds(c.ms));
        case Kind::Touch:
            return "touch " + std::to_string(c.x) + " " + std::to_string(c.y);
        case Kind::Release:
            return "release";
        case Kind::Workbench:
            return RecordedBench(c.words);
        default:
            return {};
    }
}

// Exact to the picosecond, as far as a double holds the time.
bool SameTime(double a, double b) {
    const double step = std::max(1e-9, 4 * (std::nextafter(a, 1e300) - a));
    return std::fabs(a - b) <= step;
}

void CheckSame(const ScriptCommand& original, const ScriptCommand& again) {
    FUZZ_CHECK(again.kind == original.kind);
    FUZZ_CHECK(again.x == original.x && again.y == original.y);
    if (original.kind == Kind::Wait) {
        FUZZ_CHECK(SameTime(original.ms, again.ms));
    }
    if (original.kind != Kind::Workbench) {
        return;
    }
    FUZZ_CHECK(again.words[0] == original.words[0]);
    if (original.words[0] == "serial-in") {
        FUZZ_CHECK(SameTime(cli::Real(original.words[1], 0, 1e8, "MS"),
                            cli::Real(again.words[1], 0, 1e8, "MS")));
        FUZZ_CHECK(RecordedBytes(again.words) == RecordedBytes(original.words));
    } else {
        FUZZ_CHECK(RecordedBench(again.words) == RecordedBench(original.words));
    }
}

void CheckRoundTrip(const std::vector<ScriptCommand>& commands) {
    std::string recorded;
    std::vector<const ScriptCommand*> written;
    for (const ScriptCommand& c : commands) {
        if (const std::string line = Recorded(c); !line.empty()) {
            recorded += line + "\n";
            written.push_back(&c);
        }
    }
    const Parsed again = ParseAll(recorded);
    FUZZ_CHECK(again.error.empty());
    FUZZ_CHECK(again.commands.size() == written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        CheckSame(*written[i], again.commands[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = ScriptText(data, size);
    std::istringstream in(text);
    std::string error;
    const bool accepted = app::CheckScript(in, kName, error);
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
