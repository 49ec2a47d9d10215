// The screen-text formatter against a reference written from its rules: for any format,
// arguments and buffer size the stored bytes are the start of the reference output, the NUL
// follows them, nothing outside the buffer is written, and the result is the full length
// (saturated at 0xFFFFFFFF).
#include <cstdarg>
#include <memory>
#include <vector>

#include "fuzz_support.hpp"
#include "graphics/ustdlib.hpp"

namespace {

constexpr size_t kMaxArguments = 8;
constexpr size_t kKeep = 1024;  // reference text kept; beyond that only counted
const char* const kStrings[] = {"", "a", "ab", "Ala ma kota", "%d", "0123456789ABCDEF0123"};

// The complete output as its length (exact, 64 bits) and its first kKeep characters.
struct Reference {
    uint64_t length = 0;
    std::string start;
    void put(char c, uint64_t times = 1) {
        while (times > 0 && start.size() < kKeep) {
            start.push_back(c);
            --times;
            ++length;
        }
        length += times;
    }
    void text(const char* s) {
        while (*s != '\0') {
            put(*s++);
        }
    }
};

enum class Kind { Word, String };

// Walks the format as the formatter's rules say; kinds lists what each argument is.
Reference Format(const std::string& format, const uint64_t* words, std::vector<Kind>* kinds) {
    Reference out;
    size_t argument = 0;
    auto next = [&](Kind kind) {
        if (kinds != nullptr) {
            kinds->push_back(kind);
        }
        return words == nullptr ? 0 : words[argument++];
    };
    const char* f = format.c_str();
    while (*f != '\0') {
        if (*f != '%') {
            out.put(*f++);
            continue;
        }
        ++f;
        uint64_t width = 0;
        char fill = ' ';
        while (*f >= '0' && *f <= '9') {
            if (*f == '0' && width == 0) {
                fill = '0';
            }
            width = std::min<uint64_t>(width * 10 + static_cast<uint64_t>(*f - '0'), 1ull << 40);
            ++f;
        }
        const char conversion = *f;
        if (conversion == '\0') {
            out.text("ERROR");
            break;
        }
        ++f;
        auto number = [&](uint32_t value, bool negative, uint32_t base) {
            std::string digits;
            do {
                digits.insert(digits.begin(), "0123456789ABCDEF"[value % base]);
                value /= base;
            } while (value != 0);
            const int64_t wanted =
                static_cast<int64_t>(width) - static_cast<int64_t>(digits.size()) - (negative ? 1 : 0);
            const uint64_t pad = wanted >= 1 && wanted <= 65534 ? static_cast<uint64_t>(wanted) : 0;
            if (negative && fill == '0') {
                out.put('-');
            }
            out.put(fill, pad);
            if (negative && fill != '0') {
                out.put('-');
            }
            out.text(digits.c_str());
        };
        switch (conversion) {
            case '%':
                out.put('%');
                break;
            case 'c':
                out.put(static_cast<char>(next(Kind::Word) & 0xFF));
                break;
            case 'd': {
                const auto value = static_cast<int32_t>(static_cast<uint32_t>(next(Kind::Word)));
                const bool negative = value < 0;
                number(negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value),
                       negative, 10);
                break;
            }
            case 'u':
                number(static_cast<uint32_t>(next(Kind::Word)), false, 10);
                break;
            case 'x':
            case 'X':
            case 'p':
                number(static_cast<uint32_t>(next(Kind::Word)), false, 16);
                break;
            case 's': {
                const auto* s = reinterpret_cast<const char*>(next(Kind::String));
                const std::string text = s == nullptr ? "" : s;
                out.text(text.c_str());
                if (width > text.size()) {
                    out.put(' ', width - text.size());
                }
                break;
            }
            default:
                out.text("ERROR");
                break;
        }
    }
    return out;
}

uint32_t Call(char* buffer, uint32_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint32_t count = uvsnprintf(buffer, size, format, arguments);
    va_end(arguments);
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint32_t bufferSize = in.u16() % 300;
    uint64_t words[kMaxArguments];
    for (uint64_t& word : words) {
        word = in.u32();
    }
    std::string format = in.text(200);

    // The argument kinds the format asks for; formats needing more are cut to kMaxArguments.
    std::vector<Kind> kinds;
    Format(format, nullptr, &kinds);
    if (kinds.size() > kMaxArguments) {
        return 0;
    }
    for (size_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] == Kind::String) {
            words[i] = reinterpret_cast<uintptr_t>(kStrings[words[i] % std::size(kStrings)]);
        }
    }
    const Reference expected = Format(format, words, nullptr);

    // The buffer sits inside guards; its own bytes are marked so that the NUL can be found.
    constexpr size_t kGuard = 16;
    std::vector<char> memory(bufferSize + 2 * kGuard, '#');
    char* buffer = memory.data() + kGuard;
    // Every argument is passed as a 64-bit word: narrower conversions read its low half.
    const uint32_t result = Call(buffer, bufferSize, format.c_str(), words[0], words[1], words[2],
                                 words[3], words[4], words[5], words[6], words[7]);

    FUZZ_CHECK(result == std::min<uint64_t>(expected.length, 0xFFFFFFFFu));
    for (size_t i = 0; i < kGuard; ++i) {
        FUZZ_CHECK(memory[i] == '#');
        FUZZ_CHECK(memory[kGuard + bufferSize + i] == '#');
    }
    if (bufferSize > 0) {
        const size_t stored = std::min<uint64_t>(expected.length, bufferSize - 1);
        FUZZ_CHECK(stored <= expected.start.size() || stored > kKeep);
        FUZZ_CHECK(std::memcmp(buffer, expected.start.data(), std::min(stored, kKeep)) == 0);
        FUZZ_CHECK(buffer[stored] == '\0');
    }
    return 0;
}
