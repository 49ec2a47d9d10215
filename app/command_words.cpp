#include "command_words.hpp"

#include "cli.hpp"

namespace app {

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    bool inWord = false;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            inWord = false;
            continue;
        }
        if (!inWord) {
            words.emplace_back();
            inWord = true;
        }
        words.back() += c;
    }
    return words;
}

namespace {

constexpr double kMaxMs = 1e8;  // a little over a day of virtual time

int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

}  // namespace

const std::string& CommandWords::at(size_t i, const std::string& what) const {
    if (!has(i)) {
        throw cli::UsageError{command() + " needs " + what};
    }
    return words_[i];
}

void CommandWords::noMoreAfter(size_t count) const {
    if (words_.size() > count) {
        throw cli::UsageError{"unexpected " + cli::Quote(words_[count]) + " after " + command()};
    }
}

int CommandWords::x(size_t i) const {
    return static_cast<int>(cli::Whole(at(i, "X and Y"), 0, 319, "X"));
}

int CommandWords::y(size_t i) const {
    return static_cast<int>(cli::Whole(at(i, "X and Y"), 0, 239, "Y"));
}

double CommandWords::ms(size_t i, const char* what) const {
    return cli::Real(at(i, what), 0, kMaxMs, "MS");
}

int64_t CommandWords::whole(size_t i, int64_t low, int64_t high, const char* name) const {
    return cli::Whole(at(i, name), low, high, name);
}

uint32_t CommandWords::colour(size_t i) const {
    const std::string& hex = at(i, "X Y RRGGBB");
    uint32_t rgb = 0;
    for (const char c : hex) {
        const int digit = HexDigit(c);
        if (digit < 0 || hex.size() != 6) {
            throw cli::UsageError{"the colour must be six hex digits RRGGBB, not " +
                                  cli::Quote(hex)};
        }
        rgb = rgb << 4 | static_cast<uint32_t>(digit);
    }
    return rgb;
}

uint8_t CommandWords::hexByte(size_t i) const {
    const std::string& hex = at(i, "hex bytes");
    unsigned value = 0;
    for (const char c : hex) {
        const int digit = HexDigit(c);
        if (digit < 0 || hex.size() > 2) {
            throw cli::UsageError{command() + ": " + cli::Quote(hex) + " is not a hex byte"};
        }
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return static_cast<uint8_t>(value);
}

}  // namespace app
