// The HX8347 panel driver, written once over the orientation. The landscape (320 x 240) and
// portrait (240 x 320) drivers are instances of Driver<Orientation>; their named routines and
// DisplayDriver tables are thin wrappers in the driver source files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "display/hx8347_bus.hpp"
#include "graphics/context.hpp"
#include "periph/gpio.hpp"
#include "periph/sysctl.hpp"

// The hand-written entries (hx8347_runs.S) and the C++ steps they fall back to (defined beside
// each driver's named routines).
extern "C" {
void hx8347_landscape_pixel_draw(void*, int32_t, int32_t, uint32_t);
void hx8347_landscape_line_draw_h(void*, int32_t, int32_t, int32_t, uint32_t);
void hx8347_portrait_pixel_draw(void*, int32_t, int32_t, uint32_t);
void hx8347_portrait_line_draw_h(void*, int32_t, int32_t, int32_t, uint32_t);
void hx8347_landscape_pixel_draw_steps(void*, int32_t, int32_t, uint32_t);
void hx8347_landscape_line_draw_h_steps(void*, int32_t, int32_t, int32_t, uint32_t);
void hx8347_portrait_pixel_draw_steps(void*, int32_t, int32_t, uint32_t);
void hx8347_portrait_line_draw_h_steps(void*, int32_t, int32_t, int32_t, uint32_t);
void hx8347_landscape_pixel_draw_multiple(void*, int32_t, int32_t, int32_t, int32_t, int32_t,
                                          const uint8_t*, const void*);
void hx8347_portrait_pixel_draw_multiple(void*, int32_t, int32_t, int32_t, int32_t, int32_t,
                                         const uint8_t*, const void*);
void hx8347_landscape_pixel_draw_multiple_steps(void*, int32_t, int32_t, int32_t, int32_t, int32_t,
                                                const uint8_t*, const void*);
void hx8347_portrait_pixel_draw_multiple_steps(void*, int32_t, int32_t, int32_t, int32_t, int32_t,
                                               const uint8_t*, const void*);
uint32_t hx8347_row8(const uint8_t* data, uint32_t count, const uint8_t* entries, uint32_t held);
uint32_t hx8347_row16(const uint8_t* data, uint32_t count, uint32_t held);
}

namespace hx8347 {

using bus::Mode;
using bus::Window;

// The full panel in either layout of the window registers.
constexpr Window kColumns320{0, 319, 0, 239};
constexpr Window kColumns240{0, 239, 0, 319};

// The landscape driver: screen column x is controller row x, screen row y is controller column
// 239 - y (mode 0x60).
struct Landscape {
    static constexpr uint16_t kWidth = 320;
    static constexpr uint16_t kHeight = 240;
    static constexpr Mode kDrawing{0x60, kColumns320};
    static constexpr Mode kSetLandscape{0x00, kColumns240};  // the controller's own layout
    static constexpr Mode kSetPortrait{0xE0, kColumns320};
    // Register 0x16 set by the HX8347-A sequence; the HX8347-G sequence ends with SetLandscape.
    static constexpr uint8_t kAStartupMemoryAccess = 0xE0;
    static constexpr bool kGEndsWithSetLandscape = true;
    // A vertical line is one run along a controller row, in the controller's own layout, from
    // column 239 - y2 up to 239 - y1.
    static constexpr Mode kVerticalRun = kSetLandscape;
    static constexpr Mode kAfterVerticalRun = kSetPortrait;
    static constexpr uint16_t VerticalRunColumn(int32_t y1, int32_t y2) {
        (void)y1;
        return static_cast<uint16_t>(239 - y2);
    }
    static constexpr auto kPixelDrawEntry = hx8347_landscape_pixel_draw;
    static constexpr auto kPixelDrawMultipleEntry = hx8347_landscape_pixel_draw_multiple;
    static constexpr auto kLineDrawHEntry = hx8347_landscape_line_draw_h;
};
static_assert(Landscape::kDrawing.memoryAccess == HX8347_LANDSCAPE_DRAWING_MODE);

// The portrait driver: mode 0xC0; in the exchanged mode 0xE0 portrait row y is column y and
// portrait column x is row x.
struct Portrait {
    static constexpr uint16_t kWidth = 240;
    static constexpr uint16_t kHeight = 320;
    static constexpr Mode kDrawing{0xC0, kColumns240};
    static constexpr Mode kSetLandscape{0xE0, kColumns320};
    static constexpr Mode kSetPortrait{0xC0, kColumns240};
    static constexpr uint8_t kAStartupMemoryAccess = 0xC0;
    static constexpr bool kGEndsWithSetLandscape = false;
    static constexpr Mode kVerticalRun = kSetLandscape;
    static constexpr Mode kAfterVerticalRun = kSetPortrait;
    static constexpr uint16_t VerticalRunColumn(int32_t y1, int32_t y2) {
        (void)y2;
        return static_cast<uint16_t>(y1);
    }
    static constexpr auto kPixelDrawEntry = hx8347_portrait_pixel_draw;
    static constexpr auto kPixelDrawMultipleEntry = hx8347_portrait_pixel_draw_multiple;
    static constexpr auto kLineDrawHEntry = hx8347_portrait_line_draw_h;
};
static_assert(Portrait::kDrawing.memoryAccess == HX8347_PORTRAIT_DRAWING_MODE);

// One register write of a start-up sequence and the wait after it (ms).
struct InitStep {
    uint8_t index;
    uint8_t value;
    uint8_t waitMs;
};

// HX8347-A: power, gamma and timing registers, before the window and mode are set.
inline constexpr InitStep kHX8347AGamma[] = {
    {0x46, 0x95, 0}, {0x47, 0x51, 0}, {0x48, 0x00, 0}, {0x49, 0x36, 0},
    {0x4A, 0x11, 0}, {0x4B, 0x66, 0}, {0x4C, 0x14, 0}, {0x4D, 0x77, 0},
    {0x4E, 0x13, 0}, {0x4F, 0x4C, 0}, {0x50, 0x46, 0}, {0x51, 0x46, 0},
};

// HX8347-A: after the window and mode, the power-on sequence with its waits.
inline constexpr InitStep kHX8347APowerOn[] = {
    {0x23, 0x95, 0},   {0x24, 0x95, 0},  {0x25, 0xFF, 0},  {0x27, 0x0F, 0}, {0x28, 0x0F, 0},
    {0x29, 0x06, 0},   {0x2A, 0x06, 0},  {0x2C, 0x06, 0},  {0x2D, 0x06, 0}, {0x3A, 0x01, 0},
    {0x3B, 0x00, 0},   {0x3C, 0xF0, 0},  {0x3D, 0x00, 20},  //
    {0x35, 0x38, 0},   {0x36, 0x78, 0},  {0x3E, 0x38, 0},  {0x40, 0x0F, 0}, {0x41, 0xF0, 0},
    {0x19, 0x49, 0},   {0x93, 0x0C, 10},  //
    {0x20, 0x40, 0},   {0x1D, 0x07, 0},  {0x1E, 0x00, 0},  {0x1F, 0x04, 0}, {0x44, 0x41, 0},
    {0x45, 0x11, 10},                     //
    {0x1C, 0x04, 20},                     //
    {0x1B, 0x18, 40},                     //
    {0x1B, 0x10, 40},                     //
    {0x43, 0x80, 100},                    //
    {0x90, 0x7F, 0},   {0x26, 0x04, 40},  //
    {0x26, 0x24, 0},   {0x26, 0x2C, 40},  //
    {0x26, 0x3C, 0},   {0x57, 0x02, 0},  {0x95, 0x01, 0},  {0x57, 0x00, 0},
};

// HX8347-G: the whole sequence before the orientation is set.
inline constexpr InitStep kHX8347G[] = {
    {0x2B, 0x0A, 0},  {0x29, 0x8F, 0}, {0x2E, 0x88, 0},  {0xE2, 0x00, 0},  {0xE4, 0x01, 0},
    {0xE5, 0x01, 0},  {0xE6, 0x01, 0}, {0xE7, 0x01, 0},  {0xEA, 0x00, 0},  {0xEB, 0x24, 0},
    {0xEC, 0x3C, 0},  {0xED, 0x04, 0}, {0xE8, 0x84, 0},  {0xF2, 0x00, 0},  //
    {0x40, 0x01, 0},  {0x41, 0x00, 0}, {0x42, 0x00, 0},  {0x43, 0x17, 0},  {0x44, 0x15, 0},
    {0x45, 0x20, 0},  {0x46, 0x03, 0}, {0x47, 0x59, 0},  {0x48, 0x00, 0},  {0x49, 0x12, 0},
    {0x4A, 0x17, 0},  {0x4B, 0x19, 0}, {0x4C, 0x14, 0},  //
    {0x50, 0x1F, 0},  {0x51, 0x2A, 0}, {0x52, 0x28, 0},  {0x53, 0x3F, 0},  {0x54, 0x3F, 0},
    {0x55, 0x3E, 0},  {0x56, 0x26, 0}, {0x57, 0x7C, 0},  {0x58, 0x0B, 0},  {0x59, 0x06, 0},
    {0x5A, 0x08, 0},  {0x5B, 0x0D, 0}, {0x5C, 0x1F, 0},  {0x5D, 0xCC, 0},  //
    {0x1B, 0x1B, 0},  {0x1A, 0x01, 0}, {0x24, 0x70, 0},  {0x25, 0x58, 0},  {0x23, 0x8B, 0},
    {0x18, 0x3A, 0},  {0x19, 0x01, 0}, {0x01, 0x00, 0},  {0x1F, 0x88, 50},  //
    {0x1F, 0x80, 50},                                                       //
    {0x1F, 0x90, 50},                                                       //
    {0x1F, 0xD0, 50},                                                       //
    {0x17, 0x05, 0},  {0x36, 0x04, 0}, {0x28, 0x38, 50},                    //
    {0x28, 0x3F, 0},
};

// Identification word of the HX8347-G; any other value is taken for an HX8347-A.
constexpr uint16_t kHX8347GId = 0x0075;
constexpr uint32_t kPanelPixels = 240u * 320u;

// The 5-6-5 native colour with blue in the high bits, from a 3-byte palette entry (blue, green,
// red in memory order) or from 0x00RRGGBB.
[[gnu::always_inline]] constexpr uint32_t NativeFromEntry(const uint8_t* entry) {
    return (static_cast<uint32_t>(entry[0] >> 3) << 11) |
           (static_cast<uint32_t>(entry[1] >> 2) << 5) | static_cast<uint32_t>(entry[2] >> 3);
}
constexpr uint32_t ColorTranslate(uint32_t c) {
    return ((c << 8) & 0xF800u) | ((c >> 19) & 0x1Fu) | ((c >> 5) & 0x07E0u);
}
// A little-endian 5-6-5 source word (red high) in native order: the two 5-bit fields swap.
constexpr uint32_t NativeFrom565(uint32_t v) {
    const uint32_t lowFields = (v >> 11) | (v & 0x07E0u);
    return (lowFields & ~0xF800u) | ((v << 11) & 0xF800u);  // one bit-field insert
}

// SysCtlDelay loops per millisecond (the loop takes three clocks).
inline uint32_t DelayPerMs() {
    return SysCtlClockGet() / 3000;
}

inline void RunSequence(const InitStep* steps, size_t count, uint32_t perMs) {
    for (size_t i = 0; i < count; ++i) {
        bus::RegisterWrite(steps[i].index, steps[i].value);
        if (steps[i].waitMs != 0) {
            SysCtlDelay(steps[i].waitMs * perMs);
        }
    }
}

template <size_t N>
void RunSequence(const InitStep (&steps)[N], uint32_t perMs) {
    RunSequence(steps, N, perMs);
}

// Black over the whole panel, then the settling wait.
inline void ClearPanel(uint32_t perMs) {
    uint32_t held = bus::g_shadow.lines;
    bus::IndexWrite(held, bus::kRegMemory);
    bus::PixelRun(held, 0, kPanelPixels);
    bus::LinesAre(static_cast<uint16_t>(held));
    bus::Advance(kPanelPixels);
    SysCtlDelay(20 * perMs);
}

// Port B pin 7 powers up locked to another function: unlock, commit it, make it plain GPIO, then
// lock the commit register again.
inline void ReleasePortBPin7() {
    constexpr uint32_t port = hw::gpio::kPortB;
    HWREG(port + hw::gpio::kLock) = hw::gpio::kLockKey;
    HWREG(port + hw::gpio::kCr) = 0x80;
    HWREG(port + hw::gpio::kAfsel) &= ~0x80u;
    HWREG(port + hw::gpio::kLock) = hw::gpio::kLockKey;
    HWREG(port + hw::gpio::kCr) = 0x00;
    HWREG(port + hw::gpio::kLock) = 0;
}

// Reads register 0x00. The read pulse is RD low for four stores.
inline uint16_t ReadIdentification() {
    bus::IndexWrite(bus::kRegId);
    HWREG(hw::gpio::kPortA + hw::gpio::kDir) = 0x00;
    HWREG(hw::gpio::kPortB + hw::gpio::kDir) = 0x00;
    HWREG(bus::kRd) = 0;
    HWREG(bus::kRd) = 0;
    HWREG(bus::kRd) = 0;
    HWREG(bus::kRd) = 0;
    const uint32_t high = HWREG(bus::kHighByte);
    const uint32_t low = HWREG(bus::kLowByte);
    HWREG(bus::kRd) = bus::kRdPin;
    HWREG(hw::gpio::kPortA + hw::gpio::kDir) = 0xFF;
    HWREG(hw::gpio::kPortB + hw::gpio::kDir) = 0xFF;
    return static_cast<uint16_t>(((high & 0xFFu) << 8) | (low & 0xFFu));
}

template <typename O>
struct Driver {
    static void Position(uint16_t x, uint16_t y) {
        uint32_t held = bus::g_shadow.lines;
        bus::Position(held, x, y);
        bus::LinesAre(static_cast<uint16_t>(held));
    }
    static void SetLandscape() { bus::ModeSet(O::kSetLandscape); }
    static void SetPortrait() { bus::ModeSet(O::kSetPortrait); }
    static void BacklightOn() { HWREG(bus::kBacklight) = bus::kBacklightPin; }
    static void BacklightOff() { HWREG(bus::kBacklight) = 0; }

    static void InitHX8347G() {
        const uint32_t perMs = DelayPerMs();
        RunSequence(kHX8347G, perMs);
        if constexpr (O::kGEndsWithSetLandscape) {
            SetLandscape();
        } else {
            SetPortrait();
        }
        ClearPanel(perMs);
    }

    static void InitHX8347A(uint32_t perMs) {
        RunSequence(kHX8347AGamma, perMs);
        bus::WindowSet(O::kDrawing.window);
        bus::RegisterWrite(0x01, 0x06);
        bus::ModePut(O::kAStartupMemoryAccess);
        RunSequence(kHX8347APowerOn, perMs);
        ClearPanel(perMs);
    }

    static void Init() {
        const uint32_t perMs = DelayPerMs();
        bus::Forget();  // the reset below returns the controller's registers to their defaults
        SysCtlPeripheralEnable(sysctl::kGpioA);
        SysCtlPeripheralEnable(sysctl::kGpioB);
        SysCtlPeripheralEnable(sysctl::kGpioC);
        SysCtlPeripheralEnable(sysctl::kGpioF);
        SysCtlPeripheralEnable(sysctl::kGpioG);
        ReleasePortBPin7();

        GPIOPinTypeGPIOOutput(hw::gpio::kPortA, 0xFF);
        GPIOPinTypeGPIOOutput(hw::gpio::kPortB, 0xFF);
        GPIOPinTypeGPIOOutput(hw::gpio::kPortC, bus::kBacklightPin);
        GPIOPinTypeGPIOOutput(hw::gpio::kPortF, bus::kRdPin | bus::kWrPin | bus::kRsPin);
        GPIOPinTypeGPIOOutput(hw::gpio::kPortG, bus::kResetPin);

        GPIOPinWrite(hw::gpio::kPortA, 0xFF, 0);
        GPIOPinWrite(hw::gpio::kPortB, 0xFF, 0);
        GPIOPinWrite(hw::gpio::kPortC, bus::kBacklightPin, 0);
        GPIOPinWrite(hw::gpio::kPortF, bus::kRdPin | bus::kWrPin | bus::kRsPin,
                     bus::kRdPin | bus::kWrPin);
        GPIOPinWrite(hw::gpio::kPortG, bus::kResetPin, bus::kResetPin);
        bus::LinesAre(0);

        SysCtlDelay(20 * perMs);
        GPIOPinWrite(hw::gpio::kPortG, bus::kResetPin, 0);
        SysCtlDelay(20 * perMs);
        GPIOPinWrite(hw::gpio::kPortG, bus::kResetPin, bus::kResetPin);
        SysCtlDelay(150 * perMs);

        if (ReadIdentification() == kHX8347GId) {
            InitHX8347G();
        } else {
            InitHX8347A(perMs);
        }
    }

    // --- The seven table operations. The library clips: coordinates are inside the screen. ---

    // Register 0x16 is left alone: the pixel lands as the last operation's mode places it. On
    // the target the entry is written by hand (hx8347_runs.S), and comes here for the cases it
    // does not take.
    static void PixelDraw(void* displayData, int32_t x, int32_t y, uint32_t colour) {
#if defined(__arm__) && defined(__thumb2__)
        O::kPixelDrawEntry(displayData, x, y, colour);
#else
        (void)displayData;
        PixelDrawSteps(x, y, colour);
#endif
    }

    static void PixelDrawSteps(int32_t x, int32_t y, uint32_t colour) {
        uint32_t held = bus::g_shadow.lines;
        bus::Position(held, static_cast<uint16_t>(x), static_cast<uint16_t>(y));
        bus::SelectMemory(held);
        bus::Hold(held, colour & 0xFFFFu);
        bus::WriteStrobe();
        bus::LinesAre(static_cast<uint16_t>(held));
        bus::Advance(1);
    }

    // Mode and window registers are written only when they change; each operation leaves the
    // controller in the drawing mode with the full window, as the next one expects. On the
    // target the entry is written by hand for the next piece of an 8 or 16 bpp picture
    // (hx8347_runs.S), and comes here for the rest.
    static void PixelDrawMultiple(void* displayData, int32_t x, int32_t y, int32_t x0,
                                  int32_t count, int32_t bpp, const uint8_t* data,
                                  const void* palette) {
#if defined(__arm__) && defined(__thumb2__)
        O::kPixelDrawMultipleEntry(displayData, x, y, x0, count, bpp, data, palette);
#else
        (void)displayData;
        PixelDrawMultipleSteps(x, y, x0, count, bpp, data, palette);
#endif
    }

    static void PixelDrawMultipleSteps(int32_t x, int32_t y, int32_t x0, int32_t count,
                                       int32_t bpp, const uint8_t* data, const void* palette) {
        uint32_t held = bus::g_shadow.lines;
        // A picture drawn in pieces: the next piece mostly starts where the last one stopped.
        if (bus::g_shadow.mode != O::kDrawing.memoryAccess ||
            !bus::ReadyAt(static_cast<uint32_t>(x), static_cast<uint32_t>(y))) {
            bus::ModeUpdate(held, O::kDrawing.memoryAccess);
            bus::Position(held, static_cast<uint16_t>(x), static_cast<uint16_t>(y));
            bus::SelectMemory(held);
            bus::LinesAre(static_cast<uint16_t>(held));
        }
        if (count <= 0) {
            return;
        }
        const auto n = static_cast<uint32_t>(count);
        switch (bpp) {
            case 1:
                held = Row1(data, static_cast<uint32_t>(x0) & 7u, n, palette, held);
                break;
            case 4:
                held = Row4(data, (x0 & 1) != 0, n, static_cast<const uint8_t*>(palette), held);
                break;
            case 8:
                held = Row8(data, n, static_cast<const uint8_t*>(palette), held);
                break;
            case 16:
                held = Row16(data, n, held);
                break;
            default:
                return;  // an unknown depth draws nothing
        }
        bus::LinesAre(static_cast<uint16_t>(held));
        bus::Advance(n);
    }

    // The picture rows, one loop per depth (count > 0), each a routine of its own in the image,
    // whose loop can be measured. held: the data lines on entry; the result: on return.

    // Bits from the most significant; the palette holds two native words.
    [[gnu::noinline]] static uint32_t Row1(const uint8_t* data, uint32_t bit, uint32_t count,
                                           const void* palette, uint32_t held) {
        uint32_t colours[2];
        std::memcpy(colours, palette, sizeof(colours));
        colours[0] &= 0xFFFFu;
        colours[1] &= 0xFFFFu;
        for (;;) {
            const uint32_t colour = colours[(*data >> (7 - bit)) & 1u];
            if (colour != held) {
                bus::Hold(held, colour);
            }
            bus::WriteStrobe();
            if (--count == 0) {
                return held;
            }
            if (++bit == 8) {
                bit = 0;
                ++data;
            }
        }
    }

    // Two pixels a byte, high nibble first; an odd x0 starts at the low nibble. Entries are
    // converted only when the index changes.
    [[gnu::noinline]] static uint32_t Row4(const uint8_t* data, bool low, uint32_t count,
                                           const uint8_t* entries, uint32_t held) {
        uint32_t last = 0x100;  // no index yet
        for (;;) {
            const uint32_t index = low ? (*data & 0x0Fu) : (*data >> 4);
            if (index != last) {
                last = index;
                bus::Hold(held, NativeFromEntry(entries + 3 * index));
            }
            bus::WriteStrobe();
            if (--count == 0) {
                return held;
            }
            if (low) {
                ++data;
            }
            low = !low;
        }
    }

    // A repeated index or word repeats the colour: only the strobe. A changed colour stores both
    // data ports: testing each byte for a change costs more cycles than the store it saves. On
    // the target the two loops are written out by hand (hx8347_runs.S, the routines whose loops
    // are measured), because the compiler neither keeps the port addresses in registers nor lays
    // the repeat path out straight; these C++ loops are what they do, and what the host build
    // runs.
    static uint32_t Row8(const uint8_t* data, uint32_t count, const uint8_t* entries,
                         uint32_t held) {
#if defined(__arm__) && defined(__thumb2__)
        return hx8347_row8(data, count, entries, held);
#else
        uint32_t last = 0x100;  // no index yet
        do {
            const uint32_t index = *data++;
            if (index != last) {
                last = index;
                held = NativeFromEntry(entries + 3 * index);
                HWREG(bus::kHighByte) = held >> 8;
                HWREG(bus::kLowByte) = held;
            }
            bus::WriteStrobe();
        } while (--count != 0);
        return held;
#endif
    }

    static uint32_t Row16(const uint8_t* data, uint32_t count, uint32_t held) {
#if defined(__arm__) && defined(__thumb2__)
        return hx8347_row16(data, count, held);
#else
        uint32_t last = 0x10000;  // no word yet
        do {
            const uint32_t word = data[0] | (static_cast<uint32_t>(data[1]) << 8);
            data += 2;
            if (word != last) {
                last = word;
                held = NativeFrom565(word);
                HWREG(bus::kHighByte) = held >> 8;
                HWREG(bus::kLowByte) = held;
            }
            bus::WriteStrobe();
        } while (--count != 0);
        return held;
#endif
    }

    // By hand on the target, like PixelDraw.
    static void LineDrawH(void* displayData, int32_t x1, int32_t x2, int32_t y, uint32_t colour) {
#if defined(__arm__) && defined(__thumb2__)
        O::kLineDrawHEntry(displayData, x1, x2, y, colour);
#else
        (void)displayData;
        LineDrawHSteps(x1, x2, y, colour);
#endif
    }

    static void LineDrawHSteps(int32_t x1, int32_t x2, int32_t y, uint32_t colour) {
        uint32_t held = bus::g_shadow.lines;
        bus::ModeUpdate(held, O::kDrawing.memoryAccess);
        bus::Position(held, static_cast<uint16_t>(x1), static_cast<uint16_t>(y));
        bus::SelectMemory(held);
        if (x2 >= x1) {
            bus::PixelRun(held, colour, static_cast<uint32_t>(x2 - x1 + 1));
            bus::Advance(static_cast<uint32_t>(x2 - x1 + 1));
        }
        bus::LinesAre(static_cast<uint16_t>(held));
    }

    // One run along a controller row, in a mode whose rows are the screen's columns; then the
    // full-screen window and the drawing mode are restored.
    static void LineDrawV(void*, int32_t x, int32_t y1, int32_t y2, uint32_t colour) {
        constexpr Window run = O::kVerticalRun.window;
        constexpr Window full = O::kAfterVerticalRun.window;
        uint32_t held = bus::g_shadow.lines;
        // The usual case: the drawing mode and the full window's ends, as every drawing
        // operation leaves them. Then the mode and both ends certainly change, there and back,
        // and only the starts need comparing; the same words as the general steps below.
        if (bus::g_shadow.mode == O::kDrawing.memoryAccess &&
            bus::g_shadow.window[bus::kEndColumn] == full.xmax &&
            bus::g_shadow.window[bus::kEndRow] == full.ymax) {
            static_assert(O::kVerticalRun.memoryAccess != O::kDrawing.memoryAccess);
            bus::ModeSwitch(held, O::kVerticalRun.memoryAccess);
            bus::UpdatePair(held, bus::kStartColumn, O::VerticalRunColumn(y1, y2), true);
            bus::EndPairSwitch(held, bus::kEndColumn, full.xmax, run.xmax);
            bus::UpdatePair(held, bus::kStartRow, static_cast<uint16_t>(x), true);
            bus::EndPairSwitch(held, bus::kEndRow, full.ymax, run.ymax);
            bus::SelectMemory(held);
            if (y2 >= y1) {
                bus::PixelRun(held, colour, static_cast<uint32_t>(y2 - y1 + 1));
                bus::Advance(static_cast<uint32_t>(y2 - y1 + 1));
            }
            bus::ModeSwitch(held, O::kDrawing.memoryAccess);
            bus::UpdatePair(held, bus::kStartColumn, full.xmin, false);
            bus::EndPairSwitch(held, bus::kEndColumn, run.xmax, full.xmax);
            bus::UpdatePair(held, bus::kStartRow, full.ymin, false);
            bus::EndPairSwitch(held, bus::kEndRow, run.ymax, full.ymax);
            bus::LinesAre(static_cast<uint16_t>(held));
            return;
        }
        bus::ModeUpdate(held,
                        Mode{O::kVerticalRun.memoryAccess,
                             Window{O::VerticalRunColumn(y1, y2), run.xmax,
                                    static_cast<uint16_t>(x), run.ymax}},
                        true);
        bus::SelectMemory(held);
        if (y2 >= y1) {
            bus::PixelRun(held, colour, static_cast<uint32_t>(y2 - y1 + 1));
            bus::Advance(static_cast<uint32_t>(y2 - y1 + 1));
        }
        bus::ModeUpdate(held, Mode{O::kDrawing.memoryAccess, O::kAfterVerticalRun.window}, false);
        bus::LinesAre(static_cast<uint16_t>(held));
    }

    static void RectFill(void*, const Rect* rect, uint32_t colour) {
        uint32_t held = bus::g_shadow.lines;
        bus::ModeUpdate(held, O::kDrawing.memoryAccess);
        const Window w{static_cast<uint16_t>(rect->xmin), static_cast<uint16_t>(rect->xmax),
                       static_cast<uint16_t>(rect->ymin), static_cast<uint16_t>(rect->ymax)};
        bus::WindowUpdate(held, w, true);
        bus::SelectMemory(held);
        const int32_t columns = rect->xmax - rect->xmin + 1;
        const int32_t rows = rect->ymax - rect->ymin + 1;
        if (columns > 0 && rows > 0) {
            // The whole window is written, so the counter wraps back to its start, where the
            // shadow already has it.
            bus::PixelRun(held, colour,
                          static_cast<uint32_t>(columns) * static_cast<uint32_t>(rows));
        }
        bus::WindowUpdate(held, O::kDrawing.window, false);
        bus::LinesAre(static_cast<uint16_t>(held));
    }

    static uint32_t ColorTranslate(void*, uint32_t rgb) { return hx8347::ColorTranslate(rgb); }

    // Every operation writes the panel directly: nothing is pending.
    static void Flush(void*) {}
};

}  // namespace hx8347
