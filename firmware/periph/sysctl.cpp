#include "sysctl.hpp"

#include "chip_facts.h"
#include "cpu.hpp"
#include "hw_regs.hpp"

namespace {

using namespace hw::sysctl;

// Crystal frequencies selected by the RCC XTAL field.
constexpr uint32_t kXtalHz[16] = {CHIP_CRYSTAL_HZ_BY_XTAL_FIELD};
constexpr uint32_t kInternalOscHz = CHIP_INTERNAL_OSC_HZ;
constexpr uint32_t kSlowOscHz = 30000;
constexpr uint32_t kPllHz = CHIP_PLL_HZ;

// Wait for the main oscillator to start: about 4 ms at the internal oscillator's 12 MHz.
constexpr uint32_t kOscillatorStartDelay = 16384;

// Polls of the lock flag before giving up; far longer than the PLL's lock time.
constexpr uint32_t kPllLockPolls = 32768;

constexpr uint32_t kClockFields = kRccMainOscDisable | kRccOscSourceMask | kRccXtalMask |
                                  kRccBypass | kRccPllPowerDown | kRccUseSysDiv | kRccSysDivMask;

}  // namespace

namespace sysctl {

uint32_t ClockFromRcc(uint32_t rcc) {
    uint32_t clock = 0;
    switch ((rcc & kRccOscSourceMask) >> kRccOscSourceShift) {
        case 0:
            clock = kXtalHz[(rcc & kRccXtalMask) >> kRccXtalShift];
            break;
        case 1:
            clock = kInternalOscHz;
            break;
        case 2:
            clock = kInternalOscHz / 4;
            break;
        default:
            clock = kSlowOscHz;
            break;
    }
    if ((rcc & kRccBypass) == 0) {
        clock = kPllHz;
    }
    if ((rcc & kRccUseSysDiv) != 0) {
        clock /= ((rcc & kRccSysDivMask) >> kRccSysDivShift) + 1;
    }
    return clock;
}

}  // namespace sysctl

// Switches the system clock: run from the oscillator (PLL bypassed) while the PLL is reconfigured,
// wait for it to lock, then select it.
void SysCtlClockSet(uint32_t config) {
    uint32_t rcc = HWREG(kRcc);

    // Bypass the PLL and drop the divider so that the change below never overclocks the part.
    rcc |= kRccBypass;
    rcc &= ~kRccUseSysDiv;
    HWREG(kRcc) = rcc;

    // Start the main oscillator first if the new source needs it and it is off.
    if ((config & kRccMainOscDisable) == 0 && (rcc & kRccMainOscDisable) != 0) {
        rcc &= ~kRccMainOscDisable;
        HWREG(kRcc) = rcc;
        SysCtlDelay(kOscillatorStartDelay);
    }

    // New oscillator and PLL fields, still bypassed.
    HWREG(kMisc) = kRisPllLock;
    rcc &= ~(kRccMainOscDisable | kRccOscSourceMask | kRccXtalMask | kRccPllPowerDown);
    rcc |= config & (kRccMainOscDisable | kRccOscSourceMask | kRccXtalMask | kRccPllPowerDown);
    HWREG(kRcc) = rcc;

    if ((config & kRccPllPowerDown) == 0) {
        for (uint32_t polls = 0; polls < kPllLockPolls; ++polls) {
            if ((HWREG(kRis) & kRisPllLock) != 0) {
                break;
            }
        }
    }

    // Divider and PLL selection together, so the undivided PLL never clocks the part.
    rcc = (rcc & ~kClockFields) | (config & kClockFields);
    HWREG(kRcc) = rcc;

    SysCtlDelay(16);
}

uint32_t SysCtlClockGet() {
    return sysctl::ClockFromRcc(HWREG(kRcc));
}

void SysCtlDelay(uint32_t count) {
    platform::DelayLoop(count);
}

void SysCtlPeripheralEnable(uint32_t peripheral) {
    const uint32_t gate = kRcgc0 + ((peripheral >> 28) * 4);
    HWREG(gate) |= peripheral & 0x0FFFFFFF;
}

uint32_t SysCtlPeripheralPresent(uint32_t peripheral) {
    // Presence registers for gate registers 0, 1 and 2.
    constexpr uint32_t kPresence[3] = {kDc1, kDc2, kDc4};
    const uint32_t index = peripheral >> 28;
    if (index > 2) {
        return 0;
    }
    return (HWREG(kPresence[index]) & (peripheral & 0x0FFFFFFF)) != 0 ? 1 : 0;
}
