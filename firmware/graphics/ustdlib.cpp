// A small formatter for screen texts. Unknown conversions print "ERROR" instead of failing, and
// output that does not fit is cut off while still being counted. Widths and the count saturate
// at 0xFFFFFFFF: a result of 0xFFFFFFFF means "at least that long", and no count can wrap round
// into a position inside the buffer.
#include "graphics/ustdlib.hpp"

const char* const g_pcHex = "0123456789ABCDEF";

namespace {

// Numbers are padded only up to this many characters; a larger padding is dropped.
constexpr uint32_t kMaxPadding = 65534;
constexpr char kError[] = "ERROR";
constexpr uint32_t kSaturated = 0xFFFFFFFFu;

uint32_t SaturatingAdd(uint32_t a, uint32_t b) {
    return a > kSaturated - b ? kSaturated : a + b;
}

// Stores what fits (leaving room for the NUL) and counts everything.
class Output {
  public:
    Output(char* buffer, uint32_t size) : buffer_(buffer), size_(size) {}

    void Put(char character) {
        if (Room()) {
            buffer_[count_] = character;
        }
        count_ = SaturatingAdd(count_, 1);
    }

    // Only the characters that can still be stored are written one by one.
    void Repeat(char character, uint32_t times) {
        while (times > 0 && Room()) {
            buffer_[count_++] = character;
            --times;
        }
        count_ = SaturatingAdd(count_, times);
    }

    void Text(const char* text) {
        while (*text != '\0') {
            Put(*text++);
        }
    }

    uint32_t Finish() {
        if (size_ != 0) {
            buffer_[count_ < size_ - 1 ? count_ : size_ - 1] = '\0';
        }
        return count_;
    }

  private:
    // Written as a subtraction so that a count near the top cannot wrap into the buffer.
    bool Room() const { return size_ != 0 && count_ < size_ - 1; }

    char* buffer_;
    uint32_t size_;
    uint32_t count_ = 0;
};

void Number(Output& out, uint32_t value, bool negative, uint32_t base, uint32_t width, char fill) {
    // The highest place value, found by multiplying by the base while the product stays within
    // the value and within 32 bits.
    uint32_t place = 1;
    uint32_t digits = 1;
    while (place <= value / base) {
        place *= base;
        ++digits;
    }
    const int64_t padding = static_cast<int64_t>(width) - digits - (negative ? 1 : 0);
    const uint32_t pad =
        padding >= 1 && padding <= kMaxPadding ? static_cast<uint32_t>(padding) : 0;
    if (negative && fill == '0') {
        out.Put('-');
    }
    out.Repeat(fill, pad);
    if (negative && fill != '0') {
        out.Put('-');
    }
    for (; place != 0; place /= base) {
        out.Put(g_pcHex[(value / place) % base]);
    }
}

}  // namespace

uint32_t uvsnprintf(char* buffer, uint32_t size, const char* format, va_list arguments) {
    Output out(buffer, size);
    while (*format != '\0') {
        if (*format != '%') {
            out.Put(*format++);
            continue;
        }
        ++format;
        uint32_t width = 0;
        char fill = ' ';
        // Digits build the width; the first character that is no digit ends the conversion.
        while (*format >= '0' && *format <= '9') {
            if (*format == '0' && width == 0) {
                fill = '0';
            }
            const auto digit = static_cast<uint32_t>(*format - '0');
            width = width > (kSaturated - digit) / 10 ? kSaturated : width * 10 + digit;
            ++format;
        }
        const char conversion = *format;
        if (conversion == '\0') {
            // A conversion cut off by the end of the format: report it and stop at the NUL.
            out.Text(kError);
            break;
        }
        ++format;
        switch (conversion) {
            case '%':
                out.Put('%');
                break;
            case 'c':
                out.Put(static_cast<char>(va_arg(arguments, uint32_t) & 0xFFu));
                break;
            case 'd': {
                const int32_t value = va_arg(arguments, int32_t);
                const bool negative = value < 0;
                // Negated in unsigned arithmetic, so the most negative value survives.
                const uint32_t magnitude =
                    negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
                Number(out, magnitude, negative, 10, width, fill);
                break;
            }
            case 'u':
                Number(out, va_arg(arguments, uint32_t), false, 10, width, fill);
                break;
            case 'x':
            case 'X':
                Number(out, va_arg(arguments, uint32_t), false, 16, width, fill);
                break;
            case 'p': {
                // The address as a 32-bit word, as pointers are on the target.
                const auto address = reinterpret_cast<uintptr_t>(va_arg(arguments, const void*));
                Number(out, static_cast<uint32_t>(address), false, 16, width, fill);
                break;
            }
            case 's': {
                const char* text = va_arg(arguments, const char*);
                uint32_t length = 0;
                while (text[length] != '\0') {
                    out.Put(text[length]);
                    ++length;
                }
                // Strings are left-aligned and padded with spaces whatever the fill.
                if (width > length) {
                    out.Repeat(' ', width - length);
                }
                break;
            }
            default:
                out.Text(kError);
                break;
        }
    }
    return out.Finish();
}

uint32_t usprintf(char* buffer, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint32_t count = uvsnprintf(buffer, 0xFFFF, format, arguments);
    va_end(arguments);
    return count;
}
