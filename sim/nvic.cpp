#include "nvic.hpp"

#include <cstdio>
#include <cstdlib>

#include "exception_rules.hpp"

namespace sim {

namespace {
constexpr uint64_t kLineMask = (uint64_t{1} << kPeripheralInterrupts) - 1;
constexpr uint32_t kFirstSystemHandler = 4;

// Read-modify of one 32-bit half of a 64-bit bit set.
uint32_t Half(uint64_t bits, uint32_t index) {
    return static_cast<uint32_t>(bits >> (32 * index));
}
uint64_t Widen(uint32_t value, uint32_t index) {
    return static_cast<uint64_t>(value) << (32 * index);
}
// The bank (0 or 1) of a two-word register array at `first`, or -1 if offset is not in it.
int Bank(uint32_t offset, uint32_t first) {
    return offset >= first && offset < first + 8 ? static_cast<int>((offset - first) / 4) : -1;
}
// Four priority bytes as the word that holds them.
template <typename Bytes>
uint32_t Word(const Bytes& bytes, uint32_t first) {
    return bytes[first] | (bytes[first + 1] << 8) | (bytes[first + 2] << 16) |
           (static_cast<uint32_t>(bytes[first + 3]) << 24);
}
template <typename Bytes>
void PutWord(Bytes& bytes, uint32_t first, uint32_t value) {
    for (uint32_t i = 0; i < 4; ++i) {
        bytes[first + i] = static_cast<uint8_t>(value >> (8 * i));
    }
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
    changed();
}

int Nvic::priority(uint32_t exception) const {
    if (exception >= kFirstPeripheralException) {
        return priority_[exception - kFirstPeripheralException];
    }
    if (exception >= kFirstSystemHandler) {
        return systemPriority_[exception - kFirstSystemHandler];
    }
    return static_cast<int>(exception) - 4;  // reset -3, NMI -2, hard fault -1
}

void Nvic::acknowledge(uint32_t exception) {
    if (depth_ == kMaxActive) {
        std::fprintf(stderr, "simulated NVIC: more than %u exceptions nested\n", kMaxActive);
        std::abort();
    }
    activeStack_[depth_++] = exception;
    if (exception == kExceptionSysTick) {
        sysTickPending_ = false;
    } else if (exception >= kFirstPeripheralException) {
        pending_ &= ~(uint64_t{1} << (exception - kFirstPeripheralException));
    }
    changed();
}

void Nvic::complete(uint32_t exception) {
    if (depth_ > 0 && activeStack_[depth_ - 1] == exception) {
        --depth_;
    }
    if (exception >= kFirstPeripheralException) {
        const uint64_t bit = uint64_t{1} << (exception - kFirstPeripheralException);
        if ((lines_ & bit) != 0) {
            pending_ |= bit;  // a level that is still asserted pends again
        }
    }
    changed();
}

uint32_t Nvic::pendingVector() const {
    return MostUrgentPending(*this);
}

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
        uint64_t activeBits = 0;
        for (uint32_t level = 0; level < depth_; ++level) {
            if (activeStack_[level] >= kFirstPeripheralException) {
                activeBits |= uint64_t{1} << (activeStack_[level] - kFirstPeripheralException);
            }
        }
        return Half(activeBits, static_cast<uint32_t>(bank));
    }
    if (offset >= PRI && offset < PRI + 4 * kPriorityWords) {
        return Word(priority_, (offset - PRI) & ~3u);
    }
    if (offset >= SYS_PRI1 && offset < SYS_PRI1 + 4 * kSystemPriorityWords) {
        return Word(systemPriority_, (offset - SYS_PRI1) & ~3u);
    }
    switch (offset) {
        case CPUID:
            return kCpuidCortexM3;
        case INT_CTRL: {
            uint32_t icsr = active() & INT_CTRL_VEC_ACT;
            const uint32_t next = pendingVector();
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
    // Priorities keep only their implemented bits.
    constexpr uint32_t kImplemented = 0xE0E0E0E0;
    if (const int bank = Bank(offset, EN); bank >= 0) {
        enabled_ |= Widen(value, static_cast<uint32_t>(bank)) & kLineMask;
    } else if (const int bank = Bank(offset, DIS); bank >= 0) {
        enabled_ &= ~Widen(value, static_cast<uint32_t>(bank));
    } else if (const int bank = Bank(offset, PEND); bank >= 0) {
        pending_ |= Widen(value, static_cast<uint32_t>(bank)) & kLineMask;
    } else if (const int bank = Bank(offset, UNPEND); bank >= 0) {
        pending_ &= ~Widen(value, static_cast<uint32_t>(bank));
    } else if (offset >= PRI && offset < PRI + 4 * kPriorityWords) {
        PutWord(priority_, (offset - PRI) & ~3u, value & kImplemented);
    } else if (offset >= SYS_PRI1 && offset < SYS_PRI1 + 4 * kSystemPriorityWords) {
        PutWord(systemPriority_, (offset - SYS_PRI1) & ~3u, value & kImplemented);
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
    changed();
}

}  // namespace sim
