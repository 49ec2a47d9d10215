#include "gpio.hpp"

namespace sim {

using namespace gpio;

GpioPort::GpioPort(char letter, bool pin7Locked) : letter_(letter) {
    if (pin7Locked) {
        // This pin powers up given to another function and protected by the commit register.
        afsel_ = 0x80;
        den_ = 0x80;
        cr_ = 0x7F;
        protected_ = 0x80;
    }
    updateDriven();
}

void GpioPort::notifyListeners() {
    for (auto& listener : listeners_) {
        listener(*this);
    }
}

uint8_t GpioPort::mixedLevels() const {
    const uint8_t outside = external_ ? external_() : static_cast<uint8_t>(pullUp_ & ~pullDown_);
    return static_cast<uint8_t>((data_ & drivenPins()) | (outside & ~drivenPins()));
}

uint32_t GpioPort::read(uint32_t offset, unsigned) {
    if (offset < DIR) {
        return pinLevels() & ((offset >> DATA_MASK_SHIFT) & 0xFFu);
    }
    switch (offset) {
        case DIR:
            return dir_;
        case IM:
            return interruptMask_;
        case AFSEL:
            return afsel_;
        case DR2R:
            return drive2mA_;
        case DR4R:
            return drive4mA_;
        case DR8R:
            return drive8mA_;
        case ODR:
            return openDrain_;
        case PUR:
            return pullUp_;
        case PDR:
            return pullDown_;
        case DEN:
            return den_;
        case LOCK:
            return locked_ ? 1u : 0u;
        case CR:
            return cr_;
        default:
            return 0;  // the bus decoder has reported the offset
    }
}

void GpioPort::write(uint32_t offset, uint32_t value, unsigned) {
    const auto byte = static_cast<uint8_t>(value);
    // Committed bits change only where the commit register allows it.
    const auto committed = [this, byte](uint8_t current) {
        return static_cast<uint8_t>((current & ~cr_) | (byte & cr_));
    };
    if (offset < DIR) {
        storeData(offset, value);
        return;
    }
    switch (offset) {
        case DIR:
            dir_ = byte;
            updateDriven();
            notify();
            break;
        case IM:
            interruptMask_ = byte;
            break;
        case AFSEL:
            afsel_ = committed(afsel_);
            updateDriven();
            notify();
            break;
        case DR2R:
            drive2mA_ = byte;
            break;
        case DR4R:
            drive4mA_ = byte;
            break;
        case DR8R:
            drive8mA_ = byte;
            break;
        case ODR:
            openDrain_ = byte;
            break;
        case PUR:
            pullUp_ = committed(pullUp_);
            break;
        case PDR:
            pullDown_ = committed(pullDown_);
            break;
        case DEN:
            den_ = committed(den_);
            break;
        case LOCK:
            locked_ = value != LOCK_KEY;
            break;
        case CR:
            // Only protected pins have a writable commit bit; the others always commit.
            if (!locked_) {
                cr_ = static_cast<uint8_t>((byte & protected_) | ~protected_);
            }
            break;
        default:
            break;  // the bus decoder has reported the offset
    }
}

}  // namespace sim
