#include "sysctl.hpp"

#include "flash.hpp"

namespace sim {

namespace {

constexpr uint32_t kXtalFieldHz[16] = {
    1000000, 1843200, 2000000, 2457600, 3579545, 3686400, 4000000, 4096000,
    4915200, 5000000, 5120000, 6000000, 6144000, 7372800, 8000000, 8192000,
};
constexpr uint32_t kInternalOscHz = 12'000'000;
constexpr uint64_t kPllOutputHz = 200'000'000;  // for a crystal matching the XTAL field

constexpr uint32_t kMainOscDisable = 1u << 0;
constexpr uint32_t kBypass = 1u << 11;
constexpr uint32_t kPllPowerDown = 1u << 13;
constexpr uint32_t kUseSysDiv = 1u << 22;
constexpr uint32_t kPllLockBit = 1u << 6;

uint32_t OscSource(uint32_t rcc) {
    return (rcc >> 4) & 3u;
}
uint32_t XtalField(uint32_t rcc) {
    return (rcc >> 6) & 0xFu;
}
uint32_t SysDiv(uint32_t rcc) {
    return (rcc >> 23) & 0xFu;
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
            if ((rcc & kMainOscDisable) != 0) {
                return fail("the main oscillator is selected but disabled");
            }
            oscillator = config_.crystalHz;
            break;
        case 1:
            oscillator = kInternalOscHz;
            break;
        case 2:
            oscillator = kInternalOscHz / 4;
            break;
        default:
            oscillator = 30000;
            break;
    }

    uint64_t clock = oscillator;
    if ((rcc & kBypass) == 0) {
        if ((rcc & kPllPowerDown) != 0) {
            return fail("the PLL is selected but powered down");
        }
        if (!pllLocked_) {
            return fail("the PLL is selected before it has locked");
        }
        // The PLL multiplies the real oscillator by what the XTAL field says it is.
        const uint64_t assumed = OscSource(rcc) == 0 ? kXtalFieldHz[XtalField(rcc)] : oscillator;
        clock = kPllOutputHz * oscillator / assumed;
    }
    if ((rcc & kUseSysDiv) != 0) {
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
    const bool pllOn = (value & kPllPowerDown) == 0;
    const bool restarted =
        pllOn && (((previous & kPllPowerDown) != 0) || XtalField(previous) != XtalField(value) ||
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
        case 0x000:
            return 0x10010000;  // DID0
        case 0x004:
            return 0x10000000;  // DID1
        case 0x008:
            return 0x00FF007F;  // DC0: 64 KB SRAM, 256 KB flash
        case 0x010:
            return (config_.adc0Present ? 1u << 16 : 0u) | 0x0000001F;  // DC1
        case 0x014:
            return (config_.uart1Present ? 1u << 1 : 0u) | 1u | (0xFu << 16);  // DC2
        case 0x018:
            return 0;  // DC3
        case 0x01C:
            return 0x7F;  // DC4: GPIO A-G
        case 0x050:
            return pllLockFlag_ ? kPllLockBit : 0u;
        case 0x054:
            return interruptMask_;
        case 0x058:
            return (pllLockFlag_ && (interruptMask_ & kPllLockBit) != 0) ? kPllLockBit : 0u;
        case 0x060:
            return rcc_;
        case 0x070:
            return rcc2_;
        case 0x100:
        case 0x104:
        case 0x108:
            return runGates_[(offset - 0x100) / 4];
        case 0x110:
        case 0x114:
        case 0x118:
            return sleepGates_[(offset - 0x110) / 4];
        case 0x120:
        case 0x124:
        case 0x128:
            return deepSleepGates_[(offset - 0x120) / 4];
        case 0x130:
            return flash_.readEnable(0);
        case 0x134:
            return flash_.programEnable(0);
        case 0x140:
            return usecrl_;
        default:
            break;
    }
    if (offset >= 0x200 && offset < 0x210) {
        return flash_.readEnable((offset - 0x200) / 4);
    }
    if (offset >= 0x400 && offset < 0x410) {
        return flash_.programEnable((offset - 0x400) / 4);
    }
    return 0;
}

void SysCtl::write(uint32_t offset, uint32_t value, unsigned) {
    switch (offset) {
        case 0x054:
            interruptMask_ = value & kPllLockBit;
            return;
        case 0x058:
            if ((value & kPllLockBit) != 0) {
                pllLockFlag_ = false;
            }
            return;
        case 0x060:
            applyRcc(value);
            return;
        case 0x070:
            rcc2_ = value & 0x7FFFFFFF;  // the RCC2 override bit is not modelled
            return;
        case 0x100:
        case 0x104:
        case 0x108:
            runGates_[(offset - 0x100) / 4] = value;
            return;
        case 0x110:
        case 0x114:
        case 0x118:
            sleepGates_[(offset - 0x110) / 4] = value;
            return;
        case 0x120:
        case 0x124:
        case 0x128:
            deepSleepGates_[(offset - 0x120) / 4] = value;
            return;
        case 0x130:
            flash_.writeReadEnable(0, value);
            return;
        case 0x134:
            flash_.writeProgramEnable(0, value);
            return;
        case 0x140:
            usecrl_ = value & 0xFF;
            return;
        default:
            break;
    }
    if (offset >= 0x200 && offset < 0x210) {
        flash_.writeReadEnable((offset - 0x200) / 4, value);
    } else if (offset >= 0x400 && offset < 0x410) {
        flash_.writeProgramEnable((offset - 0x400) / 4, value);
    }
}

}  // namespace sim
