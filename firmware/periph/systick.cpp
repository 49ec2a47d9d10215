#include "systick.hpp"

#include "cpu.hpp"
#include "hw_regs.hpp"

using namespace hw::systick;

void SysTickPeriodSet(uint32_t period) {
    HWREG(kReload) = (period - 1) & kReloadMask;
}

uint32_t SysTickPeriodGet() {
    return (HWREG(kReload) & kReloadMask) + 1;
}

void SysTickEnable() {
    HWREG(kCtrl) |= kCtrlClockSource | kCtrlEnable;
}

void SysTickDisable() {
    HWREG(kCtrl) &= ~kCtrlEnable;
}

void SysTickIntEnable() {
    HWREG(kCtrl) |= kCtrlTickInt;
}

void SysTickIntDisable() {
    HWREG(kCtrl) &= ~kCtrlTickInt;
}
