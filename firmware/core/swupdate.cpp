#include "core/swupdate.hpp"

#include <cstdint>

#include "chip_facts.h"
#include "periph/cpu.hpp"
#include "periph/hw_regs.hpp"
#include "periph/systick.hpp"

namespace {
// The SVCall entry of the boot loader's vector table at the bottom of flash.
constexpr uint32_t kBootLoaderUpdateEntry = CHIP_BOOT_UPDATE_ENTRY_SLOT;
}  // namespace

void SoftwareUpdateBegin() {
    HWREG(hw::nvic::kDisable0) = 0xFFFFFFFF;
    HWREG(hw::nvic::kDisable0 + 4) = 0xFFFFFFFF;
    SysTickIntDisable();
    // The processor's interrupt mask stays as it is.
    platform::CallAddress(HWREG(kBootLoaderUpdateEntry));
}
