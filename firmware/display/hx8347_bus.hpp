// The HX8347 display module's 16-bit parallel bus, driven directly through GPIO: every bus step
// is one store to a port's masked data address, so only the named pins change (port C also
// carries the touch drive and the speaker). Inline throughout. The controller latches the data
// lines on the rising edge of WR, so a run of one colour sets them once and then only strobes,
// and a data port is stored only when its byte changes.
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

// count pixels of one colour (after an index write of 0x22): the data lines are set once, then
// each pixel is two stores, WR low and WR high, eight pixels a loop pass.
[[gnu::always_inline]] inline void PixelRun(uint32_t colour, uint32_t count) {
    if (count == 0) {
        return;
    }
    HWREG(kHighByte) = (colour >> 8) & 0xFFu;
    HWREG(kLowByte) = colour & 0xFFu;
    for (uint32_t odd = count & 7u; odd != 0; --odd) {
        WriteStrobe();
    }
    for (uint32_t blocks = count >> 3; blocks != 0; --blocks) {
        WriteStrobe();
        WriteStrobe();
        WriteStrobe();
        WriteStrobe();
        WriteStrobe();
        WriteStrobe();
        WriteStrobe();
        WriteStrobe();
    }
}

// The data lines as a picture row leaves them; a port is stored only when its byte changes.
// After an index write of 0x22 they hold 0x00 and 0x22.
class Lines {
  public:
    // colour: a 16-bit native word.
    [[gnu::always_inline]] void Write(uint32_t colour) {
        if (colour != held_) {
            Hold(colour);
        }
        WriteStrobe();
    }

    // Puts a colour on the data lines without a strobe.
    [[gnu::always_inline]] void Hold(uint32_t colour) {
        const uint32_t changed = colour ^ held_;
        if ((changed & 0xFF00u) != 0) {
            HWREG(kHighByte) = colour >> 8;
        }
        if ((changed & 0x00FFu) != 0) {
            HWREG(kLowByte) = colour & 0xFFu;
        }
        held_ = colour;
    }

  private:
    uint32_t held_ = kRegMemory;
};

// The window and mode registers as this driver last wrote them, so that set-up writes only the
// ones whose value changes. Slots 0-7 are registers 0x02-0x09, slot 8 register 0x16; a display
// reset forgets them all.
struct Shadow {
    uint8_t value[9];
    uint16_t known;
};
inline constinit Shadow g_shadow{};

constexpr uint32_t Slot(uint8_t index) {
    return index == kRegMemoryAccess ? 8u : static_cast<uint32_t>(index - kRegColumnStartHigh);
}

inline void Forget() {
    g_shadow.known = 0;
}

// Always written (the start registers' low bytes also place the address counter).
inline void Put(uint8_t index, uint8_t value) {
    RegisterWrite(index, value);
    const uint32_t slot = Slot(index);
    g_shadow.value[slot] = value;
    g_shadow.known = static_cast<uint16_t>(g_shadow.known | (1u << slot));
}

// Written only when the register may hold another value.
inline void Update(uint8_t index, uint8_t value) {
    const uint32_t slot = Slot(index);
    if ((g_shadow.known & (1u << slot)) != 0 && g_shadow.value[slot] == value) {
        return;
    }
    Put(index, value);
}

// Places the address counter (the window's start registers).
inline void Position(uint16_t x, uint16_t y) {
    Update(kRegColumnStartHigh, static_cast<uint8_t>(x >> 8));
    Put(kRegColumnStartLow, static_cast<uint8_t>(x));
    Update(kRegRowStartHigh, static_cast<uint8_t>(y >> 8));
    Put(kRegRowStartLow, static_cast<uint8_t>(y));
}

// Window registers 0x02-0x09 in order: start column, end column, start row, end row (each high
// byte, then low byte). The start registers also place the address counter.
struct Window {
    uint16_t xmin;
    uint16_t xmax;
    uint16_t ymin;
    uint16_t ymax;
};

// Every window register, whatever the controller holds (start-up).
inline void WindowSet(const Window& w) {
    const uint16_t values[4] = {w.xmin, w.xmax, w.ymin, w.ymax};
    uint8_t index = kRegColumnStartHigh;
    for (const uint16_t value : values) {
        Put(index++, static_cast<uint8_t>(value >> 8));
        Put(index++, static_cast<uint8_t>(value));
    }
}

// The window registers that change; placeCounter also rewrites the start registers' low bytes.
inline void WindowUpdate(const Window& w, bool placeCounter) {
    const uint16_t values[4] = {w.xmin, w.xmax, w.ymin, w.ymax};
    uint8_t index = kRegColumnStartHigh;
    for (uint32_t i = 0; i < 4; ++i) {
        Update(index++, static_cast<uint8_t>(values[i] >> 8));
        if (placeCounter && (i & 1u) == 0) {
            Put(index++, static_cast<uint8_t>(values[i]));
        } else {
            Update(index++, static_cast<uint8_t>(values[i]));
        }
    }
}

// A memory-access mode: register 0x16 and the window that goes with it.
struct Mode {
    uint8_t memoryAccess;
    Window window;
};

inline void ModeSet(const Mode& mode) {
    Put(kRegMemoryAccess, mode.memoryAccess);
    WindowSet(mode.window);
}

inline void ModeUpdate(const Mode& mode, bool placeCounter) {
    Update(kRegMemoryAccess, mode.memoryAccess);
    WindowUpdate(mode.window, placeCounter);
}

}  // namespace hx8347::bus
