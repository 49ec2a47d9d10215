#include "nvic.hpp"

namespace sim {

namespace {
constexpr uint64_t kLineMask = (uint64_t{1} << kPeripheralInterrupts) - 1;

// Read-modify of one 32-bit half of a 64-bit bit set.
uint32_t Half(uint64_t bits, uint32_t index) {
    return static_cast<uint32_t>(bits >> (32 * index));
}
uint64_t Widen(uint32_t value, uint32_t index) {
    return static_cast<uint64_t>(value) << (32 * index);
}
}  // namespace

void Nvic::setLine(uint32_t irq, bool level) {
    const uint64_t bit = uint64_t{1} << irq;
    if (level) {
        lines_ |= bit;
        pending_ |= bit;
    } else {
        lines_ &= ~bit;
    }
}

uint32_t Nvic::nextPending() const {
    if (sysTickPending_) {
        return kExceptionSysTick;
    }
    const uint64_t ready = pending_ & enabled_ & kLineMask;
    if (ready == 0) {
        return 0;
    }
    return kFirstPeripheralException + static_cast<uint32_t>(__builtin_ctzll(ready));
}

void Nvic::acknowledge(uint32_t exception) {
    active_ = exception;
    if (exception == kExceptionSysTick) {
        sysTickPending_ = false;
    } else if (exception >= kFirstPeripheralException) {
        pending_ &= ~(uint64_t{1} << (exception - kFirstPeripheralException));
    }
}

void Nvic::complete(uint32_t exception) {
    active_ = 0;
    if (exception >= kFirstPeripheralException) {
        const uint64_t bit = uint64_t{1} << (exception - kFirstPeripheralException);
        if ((lines_ & bit) != 0) {
            pending_ |= bit;  // a level that is still asserted pends again
        }
    }
}

uint32_t Nvic::read(uint32_t offset) {
    if (offset >= 0x100 && offset < 0x108) {
        return Half(enabled_, (offset - 0x100) / 4);
    }
    if (offset >= 0x180 && offset < 0x188) {
        return Half(enabled_, (offset - 0x180) / 4);
    }
    if (offset >= 0x200 && offset < 0x208) {
        return Half(pending_, (offset - 0x200) / 4);
    }
    if (offset >= 0x280 && offset < 0x288) {
        return Half(pending_, (offset - 0x280) / 4);
    }
    if (offset >= 0x300 && offset < 0x308) {
        const uint64_t activeBit = active_ >= kFirstPeripheralException
                                       ? uint64_t{1} << (active_ - kFirstPeripheralException)
                                       : 0;
        return Half(activeBit, (offset - 0x300) / 4);
    }
    if (offset >= 0x400 && offset < 0x440) {
        const uint32_t first = offset - 0x400;
        return priority_[first] | (priority_[first + 1] << 8) | (priority_[first + 2] << 16) |
               (static_cast<uint32_t>(priority_[first + 3]) << 24);
    }
    switch (offset) {
        case 0xD00:
            return 0x412FC230;  // CPUID: Cortex-M3
        case 0xD04: {
            uint32_t icsr = active_ & 0x1FF;
            const uint32_t next = nextPending();
            icsr |= (next & 0x1FF) << 12;
            if (next != 0) {
                icsr |= 1u << 22;
            }
            if (sysTickPending_) {
                icsr |= 1u << 26;
            }
            return icsr;
        }
        case 0xD08:
            return vtor_;
        case 0xD0C:
            return 0xFA050000 | (aircr_ & 0x700);
        case 0xD24:
            return shcsr_;
        default:
            return 0;
    }
}

void Nvic::write(uint32_t offset, uint32_t value) {
    if (offset >= 0x100 && offset < 0x108) {
        enabled_ |= Widen(value, (offset - 0x100) / 4) & kLineMask;
    } else if (offset >= 0x180 && offset < 0x188) {
        enabled_ &= ~Widen(value, (offset - 0x180) / 4);
    } else if (offset >= 0x200 && offset < 0x208) {
        pending_ |= Widen(value, (offset - 0x200) / 4) & kLineMask;
    } else if (offset >= 0x280 && offset < 0x288) {
        pending_ &= ~Widen(value, (offset - 0x280) / 4);
    } else if (offset >= 0x400 && offset < 0x440) {
        const uint32_t first = offset - 0x400;
        for (uint32_t i = 0; i < 4; ++i) {
            priority_[first + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    } else if (offset == 0xD04) {
        if ((value & (1u << 26)) != 0) {
            sysTickPending_ = true;
        }
        if ((value & (1u << 25)) != 0) {
            sysTickPending_ = false;
        }
    } else if (offset == 0xD08) {
        vtor_ = value & 0x3FFFFF80;
    } else if (offset == 0xD0C) {
        if ((value >> 16) == 0x05FA) {
            aircr_ = value & 0x700;
        }
    } else if (offset == 0xD24) {
        shcsr_ = value & 0x00070000;
    }
}

}  // namespace sim
