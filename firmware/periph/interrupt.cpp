#include "interrupt.hpp"

#include "cpu.hpp"
#include "hw_regs.hpp"

namespace {

// The set/clear register pair and the bit of a peripheral interrupt.
uint32_t PeripheralRegisterOffset(uint32_t interrupt) {
    return ((interrupt - hw::irq::kFirstPeripheral) / 32) * 4;
}
uint32_t PeripheralBit(uint32_t interrupt) {
    return 1u << ((interrupt - hw::irq::kFirstPeripheral) % 32);
}

uint32_t FaultEnableBit(uint32_t interrupt) {
    switch (interrupt) {
        case hw::irq::kMemFault:
            return hw::nvic::kShcsrMemFault;
        case hw::irq::kBusFault:
            return hw::nvic::kShcsrBusFault;
        case hw::irq::kUsageFault:
            return hw::nvic::kShcsrUsageFault;
        default:
            return 0;
    }
}

}  // namespace

uint32_t IntMasterEnable() {
    return CPUInterruptsOn();
}

uint32_t IntMasterDisable() {
    return CPUInterruptsOff();
}

void IntEnable(uint32_t interrupt) {
    if (interrupt == hw::irq::kSysTick) {
        HWREG(hw::systick::kCtrl) |= hw::systick::kCtrlTickInt;
    } else if (interrupt >= hw::irq::kFirstPeripheral && interrupt < hw::irq::kCount) {
        // The enable registers ignore zero bits, so a plain store suffices.
        HWREG(hw::nvic::kEnable0 + PeripheralRegisterOffset(interrupt)) = PeripheralBit(interrupt);
    } else if (FaultEnableBit(interrupt) != 0) {
        HWREG(hw::nvic::kSysHandlerCtrl) |= FaultEnableBit(interrupt);
    }
}

void IntDisable(uint32_t interrupt) {
    if (interrupt == hw::irq::kSysTick) {
        HWREG(hw::systick::kCtrl) &= ~hw::systick::kCtrlTickInt;
    } else if (interrupt >= hw::irq::kFirstPeripheral && interrupt < hw::irq::kCount) {
        HWREG(hw::nvic::kDisable0 + PeripheralRegisterOffset(interrupt)) = PeripheralBit(interrupt);
    } else if (FaultEnableBit(interrupt) != 0) {
        HWREG(hw::nvic::kSysHandlerCtrl) &= ~FaultEnableBit(interrupt);
    }
}
