#include "sysctl.hpp"

#include "flash.hpp"

namespace sim {

using namespace sysctl;

namespace {

constexpr uint64_t kPllOutputHz = chip::kPllHz;  // for a crystal matching the XTAL field
// The part's memory sizes less one: SRAM in 256-byte units (bits 31-16), flash in 2 KB units.
constexpr uint32_t kDc0 = ((chip::kSram.size / 256 - 1) << 16) | (chip::kFlash.size / 2048 - 1);

uint32_t OscSource(uint32_t rcc) {
    return (rcc >> RCC_OSCSRC_SHIFT) & 3u;
}
uint32_t XtalField(uint32_t rcc) {
    return (rcc >> RCC_XTAL_SHIFT) & 0xFu;
}
uint32_t SysDiv(uint32_t rcc) {
    return (rcc >> RCC_SYSDIV_SHIFT) & 0xFu;
}

}  // namespace

SysCtl::SysCtl(Scheduler& scheduler, FlashMemory& flash, const SysCtlConfig& config)
    : scheduler_(scheduler), flash_(flash), config_(config) {
    scheduler_.setClockHz(clockFromRcc(rcc_, nullptr));
}

uint32_t SysCtl::clockFromRcc(uint32_t rcc, std::string* problem) const {
    const auto fail = [problem](const char* why) {
        if (problem != nullptr) {
            *problem = why;
        }
        return 0u;
    };
    uint64_t oscillator = 0;
    switch (OscSource(rcc)) {
        case 0:
            if ((rcc & RCC_MOSCDIS) != 0) {
                return fail("the main oscillator is selected but disabled");
            }
            oscillator = config_.crystalHz;
            break;
        case 1:
            oscillator = chip::kInternalOscillatorHz;
            break;
        case 2:
            oscillator = chip::kInternalOscillatorHz / 4;
            break;
        default:
            oscillator = 30000;
            break;
    }

    uint64_t clock = oscillator;
    if ((rcc & RCC_BYPASS) == 0) {
        if ((rcc & RCC_PWRDN) != 0) {
            return fail("the PLL is selected but powered down");
        }
        if (!pllLocked_) {
            return fail("the PLL is selected before it has locked");
        }
        // The PLL multiplies the real oscillator by what the XTAL field says it is.
        const uint64_t assumed =
            OscSource(rcc) == 0 ? chip::kCrystalHz[XtalField(rcc)] : oscillator;
        clock = kPllOutputHz * oscillator / assumed;
    }
    if ((rcc & RCC_USESYSDIV) != 0) {
        clock /= SysDiv(rcc) + 1;
    }
    if (clock > kMaxClockHz) {
        return fail("the system clock exceeds the part's 50 MHz");
    }
    return static_cast<uint32_t>(clock);
}

void SysCtl::applyRcc(uint32_t value) {
    const uint32_t previous = rcc_;
    rcc_ = value;

    // Powering the PLL up or changing its input restarts its lock.
    const bool pllOn = (value & RCC_PWRDN) == 0;
    const bool restarted =
        pllOn && (((previous & RCC_PWRDN) != 0) || XtalField(previous) != XtalField(value) ||
                  OscSource(previous) != OscSource(value));
    if (!pllOn) {
        pllLocked_ = false;
        scheduler_.cancel(pllLockEvent_);
    } else if (restarted) {
        pllLocked_ = false;
        scheduler_.cancel(pllLockEvent_);
        pllLockEvent_ = scheduler_.after(scheduler_.cyclesFor(kPllLockTime), [this] {
            pllLocked_ = true;
            pllLockFlag_ = true;
        });
    }

    std::string problem;
    const uint32_t hz = clockFromRcc(rcc_, &problem);
    if (hz == 0) {
        fault("RCC 0x" + std::to_string(value) + ": " + problem);
        return;
    }
    scheduler_.setClockHz(hz);
}

uint32_t SysCtl::read(uint32_t offset, unsigned) {
    switch (offset) {
        case DID0:
            return 0x10010000;  // DID0
        case DID1:
            return 0x10000000;  // DID1
        case DC0:
            return kDc0;
        case DC1:
            return (config_.adc0Present ? DC1_ADC : 0u) | 0x0000001F;  // DC1
        case DC2:
            return (config_.uart1Present ? DC2_UART1 : 0u) | 1u | (0xFu << 16);  // DC2
        case DC3:
            return 0;  // DC3
        case DC4:
            return 0x7F;  // DC4: GPIO A-G
        case RIS:
            return pllLockFlag_ ? INT_PLLL : 0u;
        case IMC:
            return interruptMask_;
        case MISC:
            return (pllLockFlag_ && (interruptMask_ & INT_PLLL) != 0) ? INT_PLLL : 0u;
        case RCC:
            return rcc_;
        case RCC2:
            return rcc2_;
        case RCGC0:
        case RCGC0 + 4:
        case RCGC0 + 8:
            return runGates_[(offset - RCGC0) / 4];
        case SCGC0:
        case SCGC0 + 4:
        case SCGC0 + 8:
            return sleepGates_[(offset - SCGC0) / 4];
        case DCGC0:
        case DCGC0 + 4:
        case DCGC0 + 8:
            return deepSleepGates_[(offset - DCGC0) / 4];
        case FMPRE:
            return flash_.readEnable(0);
        case FMPPE:
            return flash_.programEnable(0);
        case USECRL:
            return usecrl_;
        default:
            break;
    }
    if (offset >= FMPRE0 && offset < FMPRE0 + 4 * kProtectionWords) {
        return flash_.readEnable((offset - FMPRE0) / 4);
    }
    if (offset >= FMPPE0 && offset < FMPPE0 + 4 * kProtectionWords) {
        return flash_.programEnable((offset - FMPPE0) / 4);
    }
    return 0;  // the bus decoder has reported the offset
}

void SysCtl::write(uint32_t offset, uint32_t value, unsigned) {
    switch (offset) {
        case IMC:
            interruptMask_ = value & INT_PLLL;
            return;
        case MISC:
            if ((value & INT_PLLL) != 0) {
                pllLockFlag_ = false;
            }
            return;
        case RCC:
            applyRcc(value);
            return;
        case RCC2:
            rcc2_ = value & ~RCC2_USERCC2;
            return;
        case RCGC0:
        case RCGC0 + 4:
        case RCGC0 + 8:
            runGates_[(offset - RCGC0) / 4] = value;
            return;
        case SCGC0:
        case SCGC0 + 4:
        case SCGC0 + 8:
            sleepGates_[(offset - SCGC0) / 4] = value;
            return;
        case DCGC0:
        case DCGC0 + 4:
        case DCGC0 + 8:
            deepSleepGates_[(offset - DCGC0) / 4] = value;
            return;
        case FMPRE:
            flash_.writeReadEnable(0, value);
            return;
        case FMPPE:
            flash_.writeProgramEnable(0, value);
            return;
        case USECRL:
            usecrl_ = value & USECRL_MASK;
            return;
        default:
            break;
    }
    if (offset >= FMPRE0 && offset < FMPRE0 + 4 * kProtectionWords) {
        flash_.writeReadEnable((offset - FMPRE0) / 4, value);
    } else if (offset >= FMPPE0 && offset < FMPPE0 + 4 * kProtectionWords) {
        flash_.writeProgramEnable((offset - FMPPE0) / 4, value);
    }
}

}  // namespace sim
