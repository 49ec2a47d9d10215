// The HX8347 display module's 16-bit parallel bus, driven directly through GPIO: every bus step
// is one store to a port's masked data address, so only the named pins change (port C also
// carries the touch drive and the speaker). Inline throughout: a pixel costs four stores and no
// call.
#pragma once

#include <cstdint>

#include "periph/cpu.hpp"
#include "periph/hw_regs.hpp"

namespace hx8347::bus {

using hw::gpio::DataAddress;

constexpr uint32_t kHighByte = DataAddress(hw::gpio::kPortA, 0xFF);  // D15-D8
constexpr uint32_t kLowByte = DataAddress(hw::gpio::kPortB, 0xFF);   // D7-D0
constexpr uint8_t kRdPin = 0x01;                                     // port F pin 0, active low
constexpr uint8_t kWrPin = 0x02;                                     // port F pin 1, active low
constexpr uint8_t kRsPin = 0x04;         // port F pin 2: 0 index, 1 data
constexpr uint8_t kResetPin = 0x01;      // port G pin 0, active low
constexpr uint8_t kBacklightPin = 0x40;  // port C pin 6
constexpr uint32_t kRd = DataAddress(hw::gpio::kPortF, kRdPin);
constexpr uint32_t kWr = DataAddress(hw::gpio::kPortF, kWrPin);
constexpr uint32_t kRs = DataAddress(hw::gpio::kPortF, kRsPin);
constexpr uint32_t kReset = DataAddress(hw::gpio::kPortG, kResetPin);
constexpr uint32_t kBacklight = DataAddress(hw::gpio::kPortC, kBacklightPin);

// Controller registers.
constexpr uint8_t kRegId = 0x00;
constexpr uint8_t kRegColumnStartHigh = 0x02;
constexpr uint8_t kRegColumnStartLow = 0x03;
constexpr uint8_t kRegRowStartHigh = 0x06;
constexpr uint8_t kRegRowStartLow = 0x07;
constexpr uint8_t kRegMemoryAccess = 0x16;
constexpr uint8_t kRegMemory = 0x22;

// A write: WR low for one store, then high; the controller latches on the rising edge.
[[gnu::always_inline]] inline void WriteStrobe() {
    HWREG(kWr) = 0;
    HWREG(kWr) = kWrPin;
}

// RS stays 1 afterwards, so that the data words that follow need no RS store.
[[gnu::always_inline]] inline void IndexWrite(uint8_t index) {
    HWREG(kHighByte) = 0;
    HWREG(kLowByte) = index;
    HWREG(kRs) = 0;
    WriteStrobe();
    HWREG(kRs) = kRsPin;
}

// Every register this firmware writes is 8 bits wide.
[[gnu::always_inline]] inline void ValueWrite(uint8_t value) {
    HWREG(kHighByte) = 0;
    HWREG(kLowByte) = value;
    WriteStrobe();
}

[[gnu::always_inline]] inline void RegisterWrite(uint8_t index, uint8_t value) {
    IndexWrite(index);
    ValueWrite(value);
}

[[gnu::always_inline]] inline void PixelWrite(uint32_t colour) {
    HWREG(kHighByte) = (colour >> 8) & 0xFFu;
    HWREG(kLowByte) = colour & 0xFFu;
    WriteStrobe();
}

// count pixel writes of one colour (after an index write of 0x22). The loop tests at its foot:
// four stores, a decrement and a branch per pixel on the target.
[[gnu::always_inline]] inline void PixelRun(uint32_t colour, uint32_t count) {
    if (count == 0) {
        return;
    }
    const uint32_t high = (colour >> 8) & 0xFFu;
    const uint32_t low = colour & 0xFFu;
    do {
        HWREG(kHighByte) = high;
        HWREG(kLowByte) = low;
        HWREG(kWr) = 0;
        HWREG(kWr) = kWrPin;
    } while (--count != 0);
}

// Places the address counter (the window's start registers).
[[gnu::always_inline]] inline void Position(uint16_t x, uint16_t y) {
    RegisterWrite(kRegColumnStartHigh, static_cast<uint8_t>(x >> 8));
    RegisterWrite(kRegColumnStartLow, static_cast<uint8_t>(x));
    RegisterWrite(kRegRowStartHigh, static_cast<uint8_t>(y >> 8));
    RegisterWrite(kRegRowStartLow, static_cast<uint8_t>(y));
}

// Window registers 0x02-0x09 in order: start column, end column, start row, end row (each high
// byte, then low byte). The start registers also place the address counter.
struct Window {
    uint16_t xmin;
    uint16_t xmax;
    uint16_t ymin;
    uint16_t ymax;
};

inline void WindowSet(const Window& w) {
    const uint16_t values[4] = {w.xmin, w.xmax, w.ymin, w.ymax};
    uint8_t index = kRegColumnStartHigh;
    for (const uint16_t value : values) {
        RegisterWrite(index++, static_cast<uint8_t>(value >> 8));
        RegisterWrite(index++, static_cast<uint8_t>(value));
    }
}

// A memory-access mode: register 0x16 and the window that goes with it.
struct Mode {
    uint8_t memoryAccess;
    Window window;
};

inline void ModeSet(const Mode& mode) {
    RegisterWrite(kRegMemoryAccess, mode.memoryAccess);
    WindowSet(mode.window);
}

}  // namespace hx8347::bus
