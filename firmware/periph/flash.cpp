#include "flash.hpp"

#include "cpu.hpp"
#include "hw_regs.hpp"

int32_t FlashProtectSet(uint32_t address, FlashProtection protection) {
    if (address >= hw::flash::kSize) {
        return -1;
    }
    const uint32_t block = address / hw::flash::kProtectBlockSize;
    const uint32_t offset = (block / 32) * 4;
    const uint32_t bit = 1u << (block % 32);
    const uint32_t readEnable = HWREG(hw::sysctl::kFmpre0 + offset);
    const uint32_t programEnable = HWREG(hw::sysctl::kFmppe0 + offset);
    if ((readEnable & bit) == 0 && protection != FlashProtection::ExecuteOnly) {
        return -1;
    }

    switch (protection) {
        case FlashProtection::ReadWrite:
            return ((programEnable & bit) != 0) ? 0 : -1;
        case FlashProtection::ReadOnly:
            HWREG(hw::sysctl::kFmppe0 + offset) = programEnable & ~bit;
            return 0;
        case FlashProtection::ExecuteOnly:
            HWREG(hw::sysctl::kFmppe0 + offset) = programEnable & ~bit;
            HWREG(hw::sysctl::kFmpre0 + offset) = readEnable & ~bit;
            return 0;
    }
    return -1;
}

void FlashUsecSet(uint32_t clockMHz) {
    HWREG(hw::sysctl::kUsecrl) = clockMHz - 1;
}

uint32_t FlashUsecGet() {
    return HWREG(hw::sysctl::kUsecrl) + 1;
}
