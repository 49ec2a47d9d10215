#include "touch_panel.hpp"

namespace sim {

namespace {
constexpr unsigned kChannelY = 4;
constexpr unsigned kChannelX = 6;
constexpr uint8_t kXHigh = 0x10;  // PC4
constexpr uint8_t kXLow = 0x20;   // PC5
constexpr uint8_t kY0 = 0x01;     // PD0
constexpr uint8_t kY1 = 0x02;     // PD1

int32_t Interpolate(int32_t from, int32_t to, int position, int last) {
    const int32_t span = (to - from) * position;
    // Round to the nearest count, halves away from zero.
    const int32_t rounded = span >= 0 ? (span + last / 2) / last : (span - last / 2) / last;
    return from + rounded;
}
}  // namespace

TouchPanel::Raw TouchPanel::RawFor(int x, int y) {
    return Raw{Interpolate(kRawLeft, kRawRight, x, 319), Interpolate(kRawTop, kRawBottom, y, 239)};
}

bool TouchPanel::xDriven() const {
    const uint8_t driven = c_.drivenPins();
    const uint8_t levels = c_.pinLevels();
    return (driven & (kXHigh | kXLow)) == (kXHigh | kXLow) && (levels & kXHigh) != 0 &&
           (levels & kXLow) == 0;
}

int TouchPanel::yDrive() const {
    if ((d_.drivenPins() & (kY0 | kY1)) != (kY0 | kY1)) {
        return 0;
    }
    const uint8_t levels = d_.pinLevels() & (kY0 | kY1);
    if (levels == kY1) {
        return 1;
    }
    if (levels == kY0) {
        return -1;
    }
    return 0;
}

uint32_t TouchPanel::channel(unsigned channel) const {
    if (!finger_) {
        return 0;
    }
    if (channel == kChannelX && xDriven()) {
        return static_cast<uint32_t>(finger_->x);
    }
    if (channel == kChannelY) {
        const int drive = yDrive();
        if (drive > 0) {
            return static_cast<uint32_t>(finger_->y);
        }
        if (drive < 0) {
            return static_cast<uint32_t>(kMaxReading - finger_->y);
        }
    }
    return 0;
}

}  // namespace sim
