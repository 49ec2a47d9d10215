#include "project/_frame0.hpp"

#include "display/hmi_Init.hpp"
#include "graphics/context.hpp"
#include "widgets/widget.hpp"

uint32_t g_TimerTicksCount = 0;
volatile uint32_t table_init_flag = 0;
uint32_t Dev_1 = 0;

namespace {
constexpr uint32_t kTicksPerControlCycle = 10;
}  // namespace

void _frame0() {
    // Scaffolding: Dev_1 = uart_Open("COM0,115200,N,8,1") lands with the serial port.
    RegisterNullWidgetMsgProc(default_timer_proc);
    DrawContext context{};
    GrContextInit(&context, &g_sDisplayDriverROM);
    // Scaffolding: hmi_GotoFrame(1) lands with the frame manager.
    context.display->Flush(context.display->displayData);
}

void hmi_TimerTrigger() {
    const uint32_t count = g_TimerTicksCount + 1;
    g_TimerTicksCount = count;
    if (table_init_flag != 0 && count % kTicksPerControlCycle == 0) {
        WidgetMessageQueueAdd(nullptr, MSG_CHECK_IO, 0, 0, 0, 0);
    }
}

// The 100 ms control cycle, run by the main loop as the null-widget procedure.
uint32_t default_timer_proc(WidgetRecord*, uint32_t, uint32_t, uint32_t) {
    // Scaffolding: ladder_main(1) and default_output(1) land with the variable dictionary.
    // Scaffolding: polling_Dev_1() and var_set(Dev_1_ERROR, ...) land with the device poller.
    // Scaffolding: default_input(1) lands with the variable dictionary.
    return 1;
}
