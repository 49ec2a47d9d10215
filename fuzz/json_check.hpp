// Whether a text is one JSON value (RFC 8259) and nothing else: what a browser's JSON.parse
// takes. Strings must be valid UTF-8 without raw control characters.
#pragma once

#include <cstddef>
#include <string>

namespace fuzz {

class JsonCheck {
  public:
    static bool Valid(const std::string& text) {
        JsonCheck check(text);
        check.space();
        const bool ok = check.value(0);
        check.space();
        return ok && check.at_ == text.size();
    }

  private:
    explicit JsonCheck(const std::string& text) : text_(text) {}

    // Nesting this deep is no state of the page's; it also bounds the recursion.
    static constexpr int kMostDepth = 64;

    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    bool eat(char c) {
        if (peek() != c || at_ >= text_.size()) {
            return false;
        }
        ++at_;
        return true;
    }
    void space() {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r') {
            ++at_;
        }
    }
    bool word(const char* w) {
        for (; *w != '\0'; ++w) {
            if (!eat(*w)) {
                return false;
            }
        }
        return true;
    }
    bool digits() {
        const size_t start = at_;
        while (peek() >= '0' && peek() <= '9') {
            ++at_;
        }
        return at_ > start;
    }
    bool number() {
        eat('-');
        if (!eat('0') && !digits()) {
            return false;
        }
        if (eat('.') && !digits()) {
            return false;
        }
        if (eat('e') || eat('E')) {
            if (!eat('+')) {
                eat('-');
            }
            return digits();
        }
        return true;
    }
    // One UTF-8 sequence after its lead byte; false for an overlong, surrogate or cut one.
    bool utf8(unsigned char lead) {
        int more = 0;
        unsigned min = 0;
        unsigned code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1, min = 0x80, code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2, min = 0x800, code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3, min = 0x10000, code = lead & 0x07;
        } else {
            return false;
        }
        for (; more > 0; --more) {
            const unsigned char next = static_cast<unsigned char>(peek());
            if (at_ >= text_.size() || (next & 0xC0) != 0x80) {
                return false;
            }
            code = code << 6 | (next & 0x3F);
            ++at_;
        }
        return code >= min && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    }
    bool string() {
        if (!eat('"')) {
            return false;
        }
        while (at_ < text_.size()) {
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                const char e = peek();
                ++at_;
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i, ++at_) {
                        const char h = peek();
                        if (!((h >= '0' && h <= '9') || (h >= 'a' && h <= 'f') ||
                              (h >= 'A' && h <= 'F'))) {
                            return false;
                        }
                    }
                } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos || e == '\0') {
                    return false;
                }
            } else if (c >= 0x80 && !utf8(c)) {
                return false;
            }
        }
        return false;
    }
    // Items separated by commas up to the closing character; each read by `item`.
    template <typename Item>
    bool items(char close, Item item) {
        space();
        if (eat(close)) {
            return true;
        }
        do {
            space();
            if (!item()) {
                return false;
            }
            space();
        } while (eat(','));
        return eat(close);
    }
    bool value(int depth) {
        if (depth > kMostDepth) {
            return false;
        }
        switch (peek()) {
            case '{':
                ++at_;
                return items('}', [&] {
                    if (!string()) {
                        return false;
                    }
                    space();
                    if (!eat(':')) {
                        return false;
                    }
                    space();
                    return value(depth + 1);
                });
            case '[':
                ++at_;
                return items(']', [&] { return value(depth + 1); });
            case '"':
                return string();
            case 't':
                return word("true");
            case 'f':
                return word("false");
            case 'n':
                return word("null");
            default:
                return number();
        }
    }

    const std::string& text_;
    size_t at_ = 0;
};

}  // namespace fuzz
