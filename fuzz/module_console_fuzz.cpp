// The remote-module tool's console: any bytes typed, arriving in pieces of any size, the
// module's process running or held, its time moving between lines. Oracles, from the console's
// rules (words split at white space; set REG VALUE, get REG, quit; numbers decimal or 0x hex):
// - every line that is not blank gets exactly one line of answer, and the right one: ok, the
//   value asked for, or the error saying what was wrong; quit ends the console, silently;
// - a set that is answered ok holds the value in the module and in the table the Modbus side
//   answers from; one that is refused changes nothing; the table always shows the process.
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "fuzz_support.hpp"
#include "registers.hpp"
#include "module.hpp"

namespace {

bool Space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : line) {
        if (Space(c)) {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

// A strict whole number: an optional sign, then decimal digits, or 0x and hex digits.
bool Number(const std::string& text, int64_t low, int64_t high, int64_t& value) {
    size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        at = 1;
    }
    int base = 10;
    if (text.size() > at + 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at == text.size()) {
        return false;
    }
    int64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
        const int digit = c >= '0' && c <= '9' ? c - '0' : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) {
            return false;
        }
        magnitude = std::min<int64_t>(magnitude * base + digit, int64_t{1} << 40);
    }
    value = negative ? -magnitude : magnitude;
    return value >= low && value <= high;
}

std::string NumberError(const std::string& what, const std::string& text, int low, int high) {
    return "error " + what + " needs a whole number from " + std::to_string(low) + " to " +
           std::to_string(high) + ", not " + cli::Quote(text);
}

// The one answer a line must get (empty for none).
bool SameLetters(const std::string& a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string Expected(const std::vector<std::string>& words, remote_io::Process& reference,
                     bool& quit) {
    if (words.empty()) {
        return "";
    }
    const std::string& verb = words[0];
    if (verb != "set" && verb != "get" && verb != "quit") {
        return "error unknown command '" + verb + "' (set REG VALUE, get REG or quit)";
    }
    const size_t arguments = verb == "quit" ? 0 : verb == "get" ? 1 : 2;
    if (words.size() != arguments + 1) {
        return "error " + verb + " takes " +
               (verb == "quit" ? "nothing" : verb == "get" ? "REG" : "REG VALUE");
    }
    if (verb == "quit") {
        quit = true;
        return "";
    }
    // A register by its address, or by its tool or variable name in any case.
    int64_t reg = -1;
    const std::string& name = words[1];
    if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0])) == 0) {
        for (const remote_io::Register& r : remote_io::kRegisters) {
            if (SameLetters(name, r.tool) || SameLetters(name, r.variable)) {
                reg = r.address;
            }
        }
        if (reg < 0) {
            return "error no register named " + cli::Quote(name);
        }
    } else if (!Number(name, remote_io::kFirstRegister, remote_io::kLastRegister, reg)) {
        return NumberError("REG", name, remote_io::kFirstRegister, remote_io::kLastRegister);
    }
    const int index = static_cast<int>(reg - remote_io::kFirstRegister);
    if (verb == "get") {
        return "value " + std::to_string(reg) + " " + std::to_string(reference.read(index));
    }
    int64_t value = 0;
    if (!Number(words[2], 0, 65535, value)) {
        return NumberError("VALUE", words[2], 0, 65535);
    }
    if (reference.running() && remote_io::IsInput(index)) {
        return "error register " + std::to_string(reg) + " (" + remote_io::NameOf(index) +
               ") is an input the module's process drives; start with --static to hold it";
    }
    reference.set(index, static_cast<uint16_t>(value));
    return "ok";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t options = in.byte();
    const bool running = (options & 1) != 0;
    const size_t piece = 1 + (options >> 1) % 24;
    const double step = in.byte() * 0.037;
    const std::string text(reinterpret_cast<const char*>(in.rest()), in.left());

    uint16_t table[remote_io::kRegisterCount] = {};
    std::vector<std::string> said;
    remote_module::Module module(table, running, [&said](const std::string& line) {
        said.push_back(line);
    });
    remote_io::Process reference;
    reference.setRunning(running);
    reference.advanceTo(0);

    // The typed lines, as the reference splits them (an unfinished last line waits).
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }

    remote_module::ConsoleLines console;
    size_t line = 0;
    bool quit = false;
    double seconds = 0;
    for (size_t at = 0; at < text.size() && !quit; at += piece) {
        console.append(text.data() + at, std::min(piece, text.size() - at));
        while (!quit) {
            const std::optional<std::string> got = console.next();
            if (!got) {
                break;
            }
            FUZZ_CHECK(line < lines.size() && *got == lines[line]);
            ++line;
            seconds += step;
            module.sync(seconds);
            reference.advanceTo(seconds);

            said.clear();
            const std::string want = Expected(Words(*got), reference, quit);
            const bool more = module.command(*got);
            FUZZ_CHECK(more == !quit);
            FUZZ_CHECK(said.size() == (want.empty() ? 0u : 1u));
            if (!want.empty()) {
                FUZZ_CHECK(said[0] == want);
            }
            for (int i = 0; i < remote_io::kRegisterCount; ++i) {
                FUZZ_CHECK(module.process().read(i) == reference.read(i));
                FUZZ_CHECK(table[i] == reference.read(i));
            }
        }
    }
    FUZZ_CHECK(quit || line == lines.size());
    return 0;
}
