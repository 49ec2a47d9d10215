// The resistive touch panel. With the X plate driven (PC4 high, PC5 low) ADC channel 6 reads the
// finger's X position; with the Y plate driven (PD0 and PD1 one high, one low) channel 4 reads
// its Y position, mirrored when the drive polarity is reversed. Without a finger, or with the
// plate not driven, the sense channel reads 0.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "device.hpp"
#include "gpio.hpp"

namespace sim {

class TouchPanel : public Part {
  public:
    struct Raw {
        int32_t x;
        int32_t y;
    };
    // The panel's raw readings at the landscape screen's edges: X grows to the right, Y falls
    // towards the bottom. Every point of the screen reads well above the press threshold.
    static constexpr int32_t kRawLeft = 150;
    static constexpr int32_t kRawRight = 870;
    static constexpr int32_t kRawTop = 880;
    static constexpr int32_t kRawBottom = 140;
    static constexpr int32_t kMaxReading = 1023;

    TouchPanel(GpioPort& c, GpioPort& d) : c_(c), d_(d) {}

    // A finger at landscape screen point (x, y); a point off the screen is taken at its edge.
    void press(int x, int y) { finger_ = RawFor(std::clamp(x, 0, 319), std::clamp(y, 0, 239)); }
    // A finger that produces exactly these readings (with the Y plate driven PD1 high).
    void pressRaw(int32_t rawX, int32_t rawY) { finger_ = Raw{rawX, rawY}; }
    void release() { finger_.reset(); }
    bool touched() const { return finger_.has_value(); }

    // The readings at a screen point (rounded to the nearest count).
    static Raw RawFor(int x, int y);

    // The ADC input of a channel at this moment.
    uint32_t channel(unsigned channel) const;

  private:
    bool xDriven() const;
    // +1: PD1 high, PD0 low; -1: PD0 high, PD1 low; 0: not driven.
    int yDrive() const;

    GpioPort& c_;
    GpioPort& d_;
    std::optional<Raw> finger_;
};

}  // namespace sim
