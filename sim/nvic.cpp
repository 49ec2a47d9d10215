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
    updateReady();
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
    updateReady();
}

void Nvic::complete(uint32_t exception) {
    active_ = 0;
    if (exception >= kFirstPeripheralException) {
        const uint64_t bit = uint64_t{1} << (exception - kFirstPeripheralException);
        if ((lines_ & bit) != 0) {
            pending_ |= bit;  // a level that is still asserted pends again
        }
    }
    updateReady();
}

namespace {
// The bank (0 or 1) of a two-word register array at `first`, or -1 if offset is not in it.
int Bank(uint32_t offset, uint32_t first) {
    return offset >= first && offset < first + 8 ? static_cast<int>((offset - first) / 4) : -1;
}
}  // namespace

uint32_t Nvic::read(uint32_t offset) {
    using namespace nvic;
    if (const int bank = Bank(offset, EN); bank >= 0) {
        return Half(enabled_, static_cast<uint32_t>(bank));
    }
    if (const int bank = Bank(offset, DIS); bank >= 0) {
        return Half(enabled_, static_cast<uint32_t>(bank));
    }
    if (const int bank = Bank(offset, PEND); bank >= 0) {
        return Half(pending_, static_cast<uint32_t>(bank));
    }
    if (const int bank = Bank(offset, UNPEND); bank >= 0) {
        return Half(pending_, static_cast<uint32_t>(bank));
    }
    if (const int bank = Bank(offset, ACTIVE); bank >= 0) {
        const uint64_t activeBit = active_ >= kFirstPeripheralException
                                       ? uint64_t{1} << (active_ - kFirstPeripheralException)
                                       : 0;
        return Half(activeBit, static_cast<uint32_t>(bank));
    }
    if (offset >= PRI && offset < PRI + 4 * kPriorityWords) {
        const uint32_t first = (offset - PRI) & ~3u;
        return priority_[first] | (priority_[first + 1] << 8) | (priority_[first + 2] << 16) |
               (static_cast<uint32_t>(priority_[first + 3]) << 24);
    }
    switch (offset) {
        case CPUID:
            return kCpuidCortexM3;
        case INT_CTRL: {
            uint32_t icsr = active_ & INT_CTRL_VEC_ACT;
            const uint32_t next = nextPending();
            icsr |= (next & INT_CTRL_VEC_ACT) << INT_CTRL_VEC_PEN_SHIFT;
            if (next != 0) {
                icsr |= INT_CTRL_ISR_PEND;
            }
            if (sysTickPending_) {
                icsr |= INT_CTRL_PEND_SYST;
            }
            return icsr;
        }
        case VTABLE:
            return vtor_;
        case APINT:
            return APINT_VECTKEY_READ | (aircr_ & APINT_PRIGROUP);
        case SYS_HND_CTRL:
            return shcsr_;
        default:
            return 0;  // the bus decoder has reported the offset
    }
}

void Nvic::write(uint32_t offset, uint32_t value) {
    using namespace nvic;
    if (const int bank = Bank(offset, EN); bank >= 0) {
        enabled_ |= Widen(value, static_cast<uint32_t>(bank)) & kLineMask;
    } else if (const int bank = Bank(offset, DIS); bank >= 0) {
        enabled_ &= ~Widen(value, static_cast<uint32_t>(bank));
    } else if (const int bank = Bank(offset, PEND); bank >= 0) {
        pending_ |= Widen(value, static_cast<uint32_t>(bank)) & kLineMask;
    } else if (const int bank = Bank(offset, UNPEND); bank >= 0) {
        pending_ &= ~Widen(value, static_cast<uint32_t>(bank));
    } else if (offset >= PRI && offset < PRI + 4 * kPriorityWords) {
        const uint32_t first = (offset - PRI) & ~3u;
        for (uint32_t i = 0; i < 4; ++i) {
            priority_[first + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    } else if (offset == INT_CTRL) {
        if ((value & INT_CTRL_PEND_SYST) != 0) {
            sysTickPending_ = true;
        }
        if ((value & INT_CTRL_UNPEND_SYST) != 0) {
            sysTickPending_ = false;
        }
    } else if (offset == VTABLE) {
        vtor_ = value & VTABLE_OFFSET;
    } else if (offset == APINT) {
        if ((value & 0xFFFF0000u) == APINT_VECTKEY) {
            aircr_ = value & APINT_PRIGROUP;
        }
    } else if (offset == SYS_HND_CTRL) {
        shcsr_ = value & SYS_HND_CTRL_ENABLES;
    }
    updateReady();
}

}  // namespace sim
