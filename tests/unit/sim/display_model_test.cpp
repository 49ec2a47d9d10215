// The display model's pixel path: a run of pixels along a window row takes a shortcut, every
// other pixel (and every pixel while a word tap is set) the general path. Random bus traffic,
// with windows and counters at and beyond the memory's edges in every memory-access mode, must
// leave two models, one tapped and one not, in the same state.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "display_module.hpp"
#include "gpio.hpp"
#include "scheduler.hpp"

namespace {

using sim::DisplayModule;
using sim::GpioPort;

constexpr uint32_t kAllPins = sim::gpio::DATA + (0xFFu << sim::gpio::DATA_MASK_SHIFT);

// A display module on its own ports, the bus driven by plain port stores.
struct Rig {
    sim::Scheduler scheduler{50'000'000};
    GpioPort a{'A', false}, b{'B', false}, c{'C', false}, f{'F', false}, g{'G', false};
    DisplayModule display{scheduler, a, b, c, f, g, sim::DisplayController::HX8347A};
    uint64_t tapped = 0;

    explicit Rig(bool tap) {
        if (tap) {
            display.setWordTap([this](const DisplayModule::Latched&) { ++tapped; });
        }
        for (GpioPort* port : {&a, &b, &f, &g}) {
            port->write(sim::gpio::DIR, 0xFF, 4);
        }
        g.write(kAllPins, 1, 4);  // out of reset
        f.write(kAllPins, DisplayModule::kRdPin | DisplayModule::kWrPin, 4);
    }
    void word(uint16_t value, bool data) {
        a.write(kAllPins, value >> 8, 4);
        b.write(kAllPins, value & 0xFF, 4);
        const uint8_t rs = data ? DisplayModule::kRsPin : 0;
        f.write(kAllPins, DisplayModule::kRdPin | rs, 4);
        f.write(kAllPins, DisplayModule::kRdPin | DisplayModule::kWrPin | rs, 4);
    }
    void reg(uint8_t index, uint8_t value) {
        word(index, false);
        word(value, true);
    }
};

TEST(DisplayModel, PixelRunsLandAsTheGeneralPathPutsThem) {
    Rig fast(false);
    Rig reference(true);
    std::mt19937 random(12);
    const auto pick = [&random](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    // Bounds around the memory's edges (240 columns, 320 rows) and inside it.
    const uint16_t bounds[] = {0,   1,   7,   60,  100, 150, 200, 238,
                               239, 240, 241, 300, 318, 319, 320, 0x1FF};
    for (int step = 0; step < 600; ++step) {
        const uint32_t what = pick(10);
        if (what < 4) {
            // A window bound (register pair 0x02/0x03 .. 0x08/0x09), at times its low byte only.
            const auto high = static_cast<uint8_t>(0x02 + 2 * pick(4));
            const uint16_t value = bounds[pick(sizeof(bounds) / sizeof(bounds[0]))];
            const bool both = pick(4) != 0;
            for (Rig* rig : {&fast, &reference}) {
                if (both) {
                    rig->reg(high, static_cast<uint8_t>(value >> 8));
                }
                rig->reg(static_cast<uint8_t>(high + 1), static_cast<uint8_t>(value));
            }
        } else if (what < 6) {
            const auto mode = static_cast<uint8_t>(pick(8) << 5);  // exchange, mirrors
            fast.reg(DisplayModule::kRegMemoryAccess, mode);
            reference.reg(DisplayModule::kRegMemoryAccess, mode);
        } else {
            const uint32_t pixels = pick(4) == 0 ? pick(700) : pick(40);
            const auto colour = static_cast<uint16_t>(random());
            for (Rig* rig : {&fast, &reference}) {
                rig->word(0x22, false);
                for (uint32_t i = 0; i < pixels; ++i) {
                    rig->word(static_cast<uint16_t>(colour + i * 0x0841), true);
                }
            }
        }
        ASSERT_EQ(fast.display.counterColumn(), reference.display.counterColumn()) << step;
        ASSERT_EQ(fast.display.counterRow(), reference.display.counterRow()) << step;
    }
    const DisplayModule& x = fast.display;
    const DisplayModule& y = reference.display;
    for (int row = 0; row < DisplayModule::kRows; ++row) {
        for (int column = 0; column < DisplayModule::kColumns; ++column) {
            ASSERT_EQ(x.memory(column, row), y.memory(column, row)) << column << ", " << row;
        }
    }
    EXPECT_EQ(x.pixelsWritten(), y.pixelsWritten());
    EXPECT_EQ(x.pixelsOutsideMemory(), y.pixelsOutsideMemory());
    EXPECT_EQ(x.pixelsOutsideWindow(), y.pixelsOutsideWindow());
    EXPECT_EQ(x.version(), y.version());
    EXPECT_EQ(x.writeStrobes(), y.writeStrobes());
    ASSERT_EQ(x.memoryRuns().size(), y.memoryRuns().size());
    for (size_t i = 0; i < x.memoryRuns().size(); ++i) {
        EXPECT_EQ(x.memoryRuns()[i].pixels, y.memoryRuns()[i].pixels) << i;
    }
    // The traffic reached the cases that matter: pixels inside and outside the memory and the
    // window, all seen by the tap.
    EXPECT_EQ(reference.tapped, y.writeStrobes());
    EXPECT_GT(x.pixelsWritten(), x.pixelsOutsideMemory() + 5000);
    EXPECT_GT(x.pixelsOutsideMemory(), 100u);
    EXPECT_GT(x.pixelsOutsideWindow(), 100u);
}

}  // namespace
