#include "gpio.hpp"

namespace sim {

GpioPort::GpioPort(char letter, bool pin7Locked) : letter_(letter) {
    if (pin7Locked) {
        // This pin powers up given to another function and protected by the commit register.
        afsel_ = 0x80;
        den_ = 0x80;
        cr_ = 0x7F;
        protected_ = 0x80;
    }
}

uint8_t GpioPort::pinLevels() const {
    if (drivenPins() == 0xFF) {
        return data_;  // the outside is not asked when the port drives every pin
    }
    const uint8_t outside = external_ ? external_() : static_cast<uint8_t>(pullUp_ & ~pullDown_);
    return static_cast<uint8_t>((data_ & drivenPins()) | (outside & ~drivenPins()));
}

void GpioPort::notify() {
    for (auto& listener : listeners_) {
        listener(*this);
    }
}

uint32_t GpioPort::read(uint32_t offset, unsigned) {
    if (offset < 0x400) {
        return pinLevels() & ((offset >> 2) & 0xFFu);
    }
    switch (offset) {
        case 0x400:
            return dir_;
        case 0x410:
            return interruptMask_;
        case 0x420:
            return afsel_;
        case 0x500:
            return drive2mA_;
        case 0x504:
            return drive4mA_;
        case 0x508:
            return drive8mA_;
        case 0x50C:
            return openDrain_;
        case 0x510:
            return pullUp_;
        case 0x514:
            return pullDown_;
        case 0x51C:
            return den_;
        case 0x520:
            return locked_ ? 1u : 0u;
        case 0x524:
            return cr_;
        default:
            return 0;
    }
}

void GpioPort::write(uint32_t offset, uint32_t value, unsigned) {
    const auto byte = static_cast<uint8_t>(value);
    // Committed bits change only where the commit register allows it.
    const auto committed = [this, byte](uint8_t current) {
        return static_cast<uint8_t>((current & ~cr_) | (byte & cr_));
    };
    if (offset < 0x400) {
        // The hot path (the display bus): the attached models see levels, so a store that
        // changes no bit of the latch tells them nothing.
        const auto mask = static_cast<uint8_t>((offset >> 2) & 0xFFu);
        const auto data = static_cast<uint8_t>((data_ & ~mask) | (byte & mask));
        if (data != data_) {
            data_ = data;
            notify();
        }
        return;
    }
    switch (offset) {
        case 0x400:
            dir_ = byte;
            notify();
            break;
        case 0x410:
            interruptMask_ = byte;
            break;
        case 0x420:
            afsel_ = committed(afsel_);
            notify();
            break;
        case 0x500:
            drive2mA_ = byte;
            break;
        case 0x504:
            drive4mA_ = byte;
            break;
        case 0x508:
            drive8mA_ = byte;
            break;
        case 0x50C:
            openDrain_ = byte;
            break;
        case 0x510:
            pullUp_ = committed(pullUp_);
            break;
        case 0x514:
            pullDown_ = committed(pullDown_);
            break;
        case 0x51C:
            den_ = committed(den_);
            break;
        case 0x520:
            locked_ = value != 0x1ACCE551;
            break;
        case 0x524:
            // Only protected pins have a writable commit bit; the others always commit.
            if (!locked_) {
                cr_ = static_cast<uint8_t>((byte & protected_) | ~protected_);
            }
            break;
        default:
            break;
    }
}

}  // namespace sim
