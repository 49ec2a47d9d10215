// The HX8347 display module's 16-bit parallel bus, driven directly through GPIO: every bus step
// is one store to a port's masked data address, so only the named pins change (port C also
// carries the touch drive and the speaker). Inline, except where noted; on the target the
// 8 and 16 bpp picture rows and PixelDraw's and LineDrawH's entries are written by hand
// (hx8347_runs.S). The controller latches the data lines on the rising edge of WR, so a run of
// one colour sets them once and then only strobes, and a data port is stored only when its byte
// changes (picture rows, whose colour changes from pixel to pixel, store both ports when it
// does: the test would cost more than the store).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "display/hx8347_asm.h"
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
constexpr uint32_t kControlPort = hw::gpio::kPortF;  // RD, WR, RS at their masked addresses
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

// What this driver knows of the controller and the bus, so that set-up writes only what changes:
// the window registers as last written, by pair (0: start column 0x02/0x03, 1: end column
// 0x04/0x05, 2: start row 0x06/0x07, 3: end row 0x08/0x09), the memory access mode (0x16), the
// address counter (column, row), the index register and the data lines as last stored. A display
// reset forgets all but the data lines, which are the ports' own latches.
constexpr uint16_t kUnknown = 0xFFFF;  // no window value, mode, counter position or index is this
struct alignas(4) Shadow {
    uint16_t counter[2];  // first: a run's set-up compares both in one load
    uint16_t index;
    uint16_t lines;
    uint16_t window[4];
    uint16_t mode;
};
// Named plainly: the hand-written entries (hx8347_runs.S) address it.
inline constinit Shadow g_shadow asm("hx8347_shadow"){{kUnknown, kUnknown},
                                 kUnknown,
                                 0,
                                 {kUnknown, kUnknown, kUnknown, kUnknown},
                                 kUnknown};

constexpr uint32_t kStartColumn = 0;
constexpr uint32_t kEndColumn = 1;
constexpr uint32_t kStartRow = 2;

// What the hand-written entries are built on (hx8347_asm.h).
static_assert(offsetof(Shadow, counter) == HX8347_SHADOW_COUNTER &&
              offsetof(Shadow, index) == HX8347_SHADOW_INDEX &&
              offsetof(Shadow, lines) == HX8347_SHADOW_LINES &&
              offsetof(Shadow, window) + 2 * kStartColumn == HX8347_SHADOW_START_COLUMN &&
              offsetof(Shadow, window) + 2 * kEndColumn == HX8347_SHADOW_END_COLUMN &&
              offsetof(Shadow, window) + 2 * kStartRow == HX8347_SHADOW_START_ROW &&
              offsetof(Shadow, mode) == HX8347_SHADOW_MODE);
static_assert(kLowByte == HX8347_PORT_LOW_BYTE &&
              kHighByte == kLowByte - HX8347_HIGH_BELOW_LOW &&
              kControlPort == HX8347_CONTROL_PORT && kWr == kControlPort + HX8347_WR_OFFSET &&
              kRs == kControlPort + HX8347_RS_OFFSET &&
              (kWrPin | kRsPin) == HX8347_WR_AND_RS_HIGH);
static_assert(kRegColumnStartLow == HX8347_REG_COLUMN_START_LOW &&
              kRegRowStartLow == HX8347_REG_ROW_START_LOW && kRegMemory == HX8347_REG_MEMORY);
constexpr uint32_t kEndRow = 3;

constexpr uint8_t HighIndex(uint32_t pair) {
    return static_cast<uint8_t>(kRegColumnStartHigh + 2 * pair);
}

// After a reset: nothing is known of the registers or the counter.
inline void Forget() {
    g_shadow.window[0] = g_shadow.window[1] = g_shadow.window[2] = g_shadow.window[3] = kUnknown;
    g_shadow.mode = kUnknown;
    g_shadow.counter[0] = g_shadow.counter[1] = kUnknown;
    g_shadow.index = kUnknown;
}

// The data lines as the stores just made left them (start-up drives them to 0).
inline void LinesAre(uint16_t word) {
    g_shadow.lines = word;
}

// A write: WR low for one store, then high; the controller latches on the rising edge.
[[gnu::always_inline]] inline void WriteStrobe() {
    HWREG(kWr) = 0;
    HWREG(kWr) = kWrPin;
}

// Puts a word on the data lines without a strobe; a port is stored only when its byte changes.
// held is the lines' state, kept in a register by the loops and written back when they end.
[[gnu::always_inline]] inline void Hold(uint32_t& held, uint32_t word) {
    const uint32_t changed = word ^ held;
    if ((changed & 0xFF00u) != 0) {
        HWREG(kHighByte) = word >> 8;
    }
    if ((changed & 0x00FFu) != 0) {
        HWREG(kLowByte) = word;  // the mask passes bits 7-0 only
    }
    held = word;
}

// The register steps below store the index and the value unconditionally (they rarely repeat,
// and a store is cheaper than the test); only D15-D8 are cleared when they are not already 0.
[[gnu::always_inline]] inline void ClearHighByte(uint32_t& held) {
    if (held > 0xFFu) {
        HWREG(kHighByte) = 0;
    }
}

// RS stays 1 afterwards, so that the data words that follow need no RS store.
[[gnu::always_inline]] inline void IndexWrite(uint32_t& held, uint8_t index) {
    ClearHighByte(held);
    HWREG(kLowByte) = index;
    HWREG(kRs) = 0;
    WriteStrobe();
    HWREG(kRs) = kRsPin;
    held = index;
    g_shadow.index = index;
}

// Pixel data follows: the memory register is selected unless it still is (pixel words leave the
// index alone, so a run that starts where the last one stopped needs no set-up at all).
[[gnu::always_inline]] inline void SelectMemory(uint32_t& held) {
    if (g_shadow.index != kRegMemory) {
        IndexWrite(held, kRegMemory);
    }
}

// Every register this firmware writes is 8 bits wide.
[[gnu::always_inline]] inline void RegisterWrite(uint32_t& held, uint8_t index, uint8_t value) {
    IndexWrite(held, index);
    HWREG(kLowByte) = value;
    WriteStrobe();
    held = value;
}

inline void IndexWrite(uint8_t index) {
    uint32_t held = g_shadow.lines;
    IndexWrite(held, index);
    g_shadow.lines = static_cast<uint16_t>(held);
}

inline void RegisterWrite(uint8_t index, uint8_t value) {
    uint32_t held = g_shadow.lines;
    RegisterWrite(held, index, value);
    g_shadow.lines = static_cast<uint16_t>(held);
}

// count pixels of one colour (after an index write of 0x22): the data lines are set once, then
// each pixel is two stores, WR low and WR high. The pixels short of a multiple of sixteen go
// out in groups of 1, 2, 4 and 8 (a piece of a letter costs a few tests, not a loop turn per
// pixel), the rest sixteen a loop pass.
[[gnu::always_inline]] inline void Strobes2() {
    WriteStrobe();
    WriteStrobe();
}
[[gnu::always_inline]] inline void Strobes4() {
    Strobes2();
    Strobes2();
}
[[gnu::always_inline]] inline void Strobes8() {
    Strobes4();
    Strobes4();
}

[[gnu::always_inline]] inline void PixelRun(uint32_t& held, uint32_t colour, uint32_t count) {
    Hold(held, colour & 0xFFFFu);
    if ((count & 1u) != 0) {
        WriteStrobe();
    }
    if ((count & 2u) != 0) {
        Strobes2();
    }
    if ((count & 4u) != 0) {
        Strobes4();
    }
    if ((count & 8u) != 0) {
        Strobes8();
    }
    // Tested at the bottom, so that a pass ends in one branch.
    if (uint32_t passes = count >> 4; passes != 0) {
        do {
            Strobes8();
            Strobes8();
        } while (--passes != 0);
    }
}

// The start registers place the address counter: column for pair 0, row for pair 2.
[[gnu::always_inline]] inline void Placed(uint32_t pair, uint16_t value) {
    if (pair == kStartColumn || pair == kStartRow) {
        g_shadow.counter[pair / 2] = value;
    }
}

// Both bytes of a pair, whatever the controller holds.
[[gnu::always_inline]] inline void PutPair(uint32_t& held, uint32_t pair, uint16_t value) {
    RegisterWrite(held, HighIndex(pair), static_cast<uint8_t>(value >> 8));
    RegisterWrite(held, static_cast<uint8_t>(HighIndex(pair) + 1), static_cast<uint8_t>(value));
    g_shadow.window[pair] = value;
    Placed(pair, value);
}

// Both bytes as they differ (a pair not known, or its high byte changing).
[[gnu::always_inline]] inline uint32_t UpdateWholePair(uint32_t held, uint32_t pair,
                                                       uint32_t value) {
    const uint32_t old = g_shadow.window[pair];
    g_shadow.window[pair] = static_cast<uint16_t>(value);
    Placed(pair, static_cast<uint16_t>(value));
    RegisterWrite(held, HighIndex(pair), static_cast<uint8_t>(value >> 8));
    if (old == kUnknown || ((old ^ value) & 0xFFu) != 0) {
        RegisterWrite(held, static_cast<uint8_t>(HighIndex(pair) + 1),
                      static_cast<uint8_t>(value));
    }
    return held;
}

// The bytes of a pair that differ, high first; place: when neither differs but the counter has
// moved off a start, the low byte is written again to place it there.
[[gnu::always_inline]] inline void UpdatePair(uint32_t& held, uint32_t pair, uint32_t value,
                                              bool place) {
    const uint32_t old = g_shadow.window[pair];
    if (old == value && (!place || g_shadow.counter[pair / 2] == value)) {
        return;
    }
    if (((old ^ value) & 0xFF00u) != 0) {  // an unknown pair differs here too
        held = UpdateWholePair(held, pair, value);
        return;
    }
    g_shadow.window[pair] = static_cast<uint16_t>(value);
    Placed(pair, static_cast<uint16_t>(value));
    RegisterWrite(held, static_cast<uint8_t>(HighIndex(pair) + 1), static_cast<uint8_t>(value));
}

// Register 0x16. The counter is not taken to keep its place across a change of the address
// order: the start registers place it again.
[[gnu::always_inline]] inline void ModeSwitch(uint32_t& held, uint8_t mode) {
    RegisterWrite(held, kRegMemoryAccess, mode);
    g_shadow.mode = mode;
    g_shadow.counter[0] = g_shadow.counter[1] = kUnknown;
}

// Register 0x16 when it changes (out of line: the drawing operations rarely change it).
[[gnu::noinline]] inline uint32_t ModeWrite(uint32_t held, uint8_t mode) {
    ModeSwitch(held, mode);
    return held;
}

// An end pair known to hold from, set to to: the bytes that differ, high first (both constant,
// so the choice is made when compiling).
[[gnu::always_inline]] inline void EndPairSwitch(uint32_t& held, uint32_t pair, uint16_t from,
                                                 uint16_t to) {
    if (((from ^ to) & 0xFF00u) != 0) {
        RegisterWrite(held, HighIndex(pair), static_cast<uint8_t>(to >> 8));
    }
    if (((from ^ to) & 0x00FFu) != 0) {
        RegisterWrite(held, static_cast<uint8_t>(HighIndex(pair) + 1), static_cast<uint8_t>(to));
    }
    g_shadow.window[pair] = to;
}

[[gnu::always_inline]] inline void ModeUpdate(uint32_t& held, uint8_t mode) {
    if (g_shadow.mode != mode) {
        held = ModeWrite(held, mode);
    }
}

inline void ModePut(uint8_t mode) {
    RegisterWrite(kRegMemoryAccess, mode);
    g_shadow.mode = mode;
    g_shadow.counter[0] = g_shadow.counter[1] = kUnknown;
}

// count pixels were written from the counter: it moved along the window's row, unless it reached
// the window's end column, where it wraps (then it is no longer known).
[[gnu::always_inline]] inline void Advance(uint32_t count) {
    const uint32_t column = g_shadow.counter[0];
    const uint32_t end = g_shadow.window[kEndColumn];
    if (column != kUnknown && end != kUnknown && column + count <= end) {
        g_shadow.counter[0] = static_cast<uint16_t>(column + count);
    } else {
        g_shadow.counter[0] = g_shadow.counter[1] = kUnknown;
    }
}

// Moves the address counter to value along one axis (pair 0 or 2) by its start register, unless
// it is there already: the start register's own value matters only to a wrap, and the shadow
// keeps it for the operations that wrap.
[[gnu::always_inline]] inline void Place(uint32_t& held, uint32_t pair, uint32_t value) {
    if (g_shadow.counter[pair / 2] == value) {
        return;
    }
    if (((g_shadow.window[pair] ^ value) & 0xFF00u) != 0) {  // an unknown pair differs here too
        held = UpdateWholePair(held, pair, value);
        return;
    }
    g_shadow.window[pair] = static_cast<uint16_t>(value);
    g_shadow.counter[pair / 2] = static_cast<uint16_t>(value);
    RegisterWrite(held, static_cast<uint8_t>(HighIndex(pair) + 1), static_cast<uint8_t>(value));
}

// Whether pixels written now land at (x, y): the counter there and the memory register selected.
[[gnu::always_inline]] inline bool ReadyAt(uint32_t x, uint32_t y) {
    uint32_t at = 0;
    std::memcpy(&at, g_shadow.counter, sizeof(at));
    return at == (x | (y << 16)) && g_shadow.index == kRegMemory;
}

// Places the address counter for pixels that do not wrap.
[[gnu::always_inline]] inline void Position(uint32_t& held, uint16_t x, uint16_t y) {
    Place(held, kStartColumn, x);
    Place(held, kStartRow, y);
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
    uint32_t held = g_shadow.lines;
    PutPair(held, kStartColumn, w.xmin);
    PutPair(held, kEndColumn, w.xmax);
    PutPair(held, kStartRow, w.ymin);
    PutPair(held, kEndRow, w.ymax);
    g_shadow.lines = static_cast<uint16_t>(held);
}

// The window registers that change; place also places the address counter at the window's
// start.
[[gnu::always_inline]] inline void WindowUpdate(uint32_t& held, const Window& w, bool place) {
    UpdatePair(held, kStartColumn, w.xmin, place);
    UpdatePair(held, kEndColumn, w.xmax, false);
    UpdatePair(held, kStartRow, w.ymin, place);
    UpdatePair(held, kEndRow, w.ymax, false);
}

// A memory-access mode: register 0x16 and the window that goes with it.
struct Mode {
    uint8_t memoryAccess;
    Window window;
};

inline void ModeSet(const Mode& mode) {
    ModePut(mode.memoryAccess);
    WindowSet(mode.window);
}

[[gnu::always_inline]] inline void ModeUpdate(uint32_t& held, const Mode& mode, bool place) {
    ModeUpdate(held, mode.memoryAccess);
    WindowUpdate(held, mode.window, place);
}

}  // namespace hx8347::bus
