#include "periph/timer.hpp"

#include "periph/cpu.hpp"
#include "periph/hw_regs.hpp"

using namespace hw::timer;
using timer::TIMER_A;
using timer::TIMER_B;

namespace {

// The CTL bits of the selected halves: bits of half A in the low byte, of half B in the next.
uint32_t ControlBits(uint32_t halves, uint32_t bits) {
    return bits & halves;
}

void SetControl(uint32_t base, uint32_t halves, uint32_t bits, bool set) {
    const uint32_t selected = ControlBits(halves, bits);
    if (set) {
        HWREG(base + kCtl) |= selected;
    } else {
        HWREG(base + kCtl) &= ~selected;
    }
}

}  // namespace

void TimerConfigure(uint32_t base, uint32_t config) {
    HWREG(base + kCtl) &= ~(kCtlTaen | kCtlTben);
    HWREG(base + kCfg) = config >> 24;
    HWREG(base + kTamr) = config & 0xFFu;
    HWREG(base + kTbmr) = (config >> 8) & 0xFFu;
}

void TimerControlLevel(uint32_t base, uint32_t halves, uint32_t invert) {
    SetControl(base, halves, kCtlTapwml | kCtlTbpwml, invert != 0);
}

void TimerControlTrigger(uint32_t base, uint32_t halves, uint32_t enable) {
    SetControl(base, halves, kCtlTaote | kCtlTbote, enable != 0);
}

void TimerEnable(uint32_t base, uint32_t halves) {
    SetControl(base, halves, kCtlTaen | kCtlTben, true);
}

void TimerDisable(uint32_t base, uint32_t halves) {
    SetControl(base, halves, kCtlTaen | kCtlTben, false);
}

bool TimerIsEnabled(uint32_t base, uint32_t half) {
    return (HWREG(base + kCtl) & ControlBits(half, kCtlTaen | kCtlTben)) != 0;
}

void TimerLoadSet(uint32_t base, uint32_t halves, uint32_t value) {
    if ((halves & TIMER_A) != 0) {
        HWREG(base + kTailr) = value;
    }
    if ((halves & TIMER_B) != 0) {
        HWREG(base + kTbilr) = value;
    }
}

uint32_t TimerLoadGet(uint32_t base, uint32_t half) {
    return HWREG(base + (half == TIMER_A ? kTailr : kTbilr));
}

void TimerMatchSet(uint32_t base, uint32_t halves, uint32_t value) {
    if ((halves & TIMER_A) != 0) {
        HWREG(base + kTamatchr) = value;
    }
    if ((halves & TIMER_B) != 0) {
        HWREG(base + kTbmatchr) = value;
    }
}

uint32_t TimerMatchGet(uint32_t base, uint32_t half) {
    return HWREG(base + (half == TIMER_A ? kTamatchr : kTbmatchr));
}

void TimerPrescaleSet(uint32_t base, uint32_t halves, uint32_t value) {
    if ((halves & TIMER_A) != 0) {
        HWREG(base + kTapr) = value;
    }
    if ((halves & TIMER_B) != 0) {
        HWREG(base + kTbpr) = value;
    }
}

uint32_t TimerPrescaleGet(uint32_t base, uint32_t half) {
    return HWREG(base + (half == TIMER_A ? kTapr : kTbpr));
}

void TimerIntEnable(uint32_t base, uint32_t sources) {
    HWREG(base + kImr) |= sources;
}

void TimerIntDisable(uint32_t base, uint32_t sources) {
    HWREG(base + kImr) &= ~sources;
}

void TimerIntClear(uint32_t base, uint32_t sources) {
    HWREG(base + kIcr) = sources;
}

uint32_t TimerIntStatus(uint32_t base, bool masked) {
    return HWREG(base + (masked ? kMis : kRis));
}
