// Shared pieces of the fuzz targets: reading typed values from the input, and an oracle check
// that stops the run with a message (libFuzzer then keeps the input as a reproducer).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzz {

// Consumes the input from the front; past its end every value reads as zero.
class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t left() const { return size_ - at_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    // Low part first. The two reads are separate statements: the operands of | are unsequenced,
    // and compilers differ in their order, so one input would mean two things.
    uint16_t u16() {
        const uint16_t low = byte();
        return static_cast<uint16_t>(low | byte() << 8);
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | static_cast<uint32_t>(u16()) << 16;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    int16_t i16() { return static_cast<int16_t>(u16()); }
    bool flag() { return (byte() & 1) != 0; }
    // Up to max bytes, stopping after a NUL (not included).
    std::string text(size_t max) {
        std::string s;
        while (s.size() < max && at_ < size_) {
            const char c = static_cast<char>(data_[at_++]);
            if (c == '\0') {
                break;
            }
            s.push_back(c);
        }
        return s;
    }
    const uint8_t* rest() const { return data_ + at_; }
    void skip(size_t n) { at_ = n > left() ? size_ : at_ + n; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: oracle failed: %s\n", file, line, what);
    std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::fuzz::Fail(__FILE__, __LINE__, #condition))
