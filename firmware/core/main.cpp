#include "core/main.hpp"

#include "core/swupdate.hpp"
#include "periph/cpu.hpp"
#include "periph/flash.hpp"
#include "periph/sysctl.hpp"
#include "periph/systick.hpp"
#include "project/_frame0.hpp"
#include "widgets/widget.hpp"

volatile uint8_t g_bFirmwareUpdate = 0;

namespace {
constexpr uint32_t kTicksPerSecond = 100;
constexpr uint32_t kBootLoaderEnd = 6144;
constexpr uint32_t kFlashBlock = 2048;
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

    // Scaffolding: SoundInit() is called here once the sound module lands.
    // Scaffolding: hmi_Init(1) is called here once the display start-up lands.
    _frame0();
    // Scaffolding: TouchScreenInit() and TouchScreenCallbackSet(WidgetPointerMessage) are called
    // here once the touch module lands.

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
    // Scaffolding: hmi_LCDIdleUpdate(10) is called here once the idle timer lands.
    hmi_TimerTrigger();
}
