#include "core/main.hpp"

#include "chip_facts.h"
#include "core/swupdate.hpp"
#include "display/hmi_Init.hpp"
#include "input/touch.hpp"
#include "periph/cpu.hpp"
#include "periph/flash.hpp"
#include "periph/sysctl.hpp"
#include "periph/systick.hpp"
#include "project/_frame0.hpp"
#include "sound/sound.hpp"
#include "widgets/widget.hpp"

volatile uint8_t g_bFirmwareUpdate = 0;

namespace {
constexpr uint32_t kTicksPerSecond = 100;
constexpr uint32_t kBootLoaderEnd = CHIP_BOOT_BASE + CHIP_BOOT_SIZE;
constexpr uint32_t kFlashBlock = CHIP_FLASH_BLOCK_SIZE;
}  // namespace

int main() {
    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);

    SysTickPeriodSet(SysCtlClockGet() / kTicksPerSecond);
    SysTickEnable();
    SysTickIntEnable();

    // The boot loader's blocks become read-only until the next reset; a refusal changes nothing.
    for (uint32_t address = 0; address < kBootLoaderEnd; address += kFlashBlock) {
        FlashProtectSet(address, FlashProtection::ReadOnly);
    }

    SoundInit();
    hmi_Init(1);  // landscape, 320 x 240
    _frame0();
    TouchScreenInit();
    // The callback is set after TouchScreenInit, which clears it.
    TouchScreenCallbackSet(WidgetPointerMessage);

    while (g_bFirmwareUpdate == 0) {
        WidgetMessageQueueProcess();
        platform::IdleHint();
    }

    // Update hand-off: finish pending work, give the system half a second, enter the boot loader.
    WidgetMessageQueueProcess();
    SysCtlDelay(SysCtlClockGet() / 6);
    SoftwareUpdateBegin();
    for (;;) {
        platform::IdleHint();
    }
}

void SysTickIntHandler() {
    hmi_LCDIdleUpdate(1000 / kTicksPerSecond);
    hmi_TimerTrigger();
}
