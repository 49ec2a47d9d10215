#include "project/_frame0.hpp"

#include <cstring>

#include "project/_dict.hpp"
#include "project/_frame1.hpp"
#include "project/_frame2.hpp"
#include "project/_frame3.hpp"
#include "project/_frame4.hpp"
#include "project/_frame5.hpp"
#include "project/ladder.hpp"
#include "project/ladder2c.hpp"
#include "vars/pvar.hpp"
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
    // Scaffolding: GrContextInit on a local context lands with the graphics library.
    hmi_GotoFrame(1);
    // Scaffolding: the display's Flush call lands with the display drivers.
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
    (void)ladder_main(1);
    (void)default_output(1);
    // Scaffolding: the exchange result comes from polling_Dev_1() once the device poller lands.
    const uint32_t failed = 0;
    var_set(&Dev_1_ERROR, failed != 0 ? 1 : 0);
    (void)default_input(1);
    return 1;
}

const char* const g_FrameNames[kFrameCount] = {"Frame1", "Frame2", "Frame3", "Frame4", "Frame5"};
uint32_t _CurrentFrame = 0;

uint32_t hmi_IndexOfFrame(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    for (uint32_t i = 0; i < kFrameCount; ++i) {
        if (std::strcmp(name, g_FrameNames[i]) == 0) {
            return i + 1;
        }
    }
    return 0;
}

void hmi_GotoFrame(uint32_t frame) {
    // Touches that arrived for the old screen must not act on the new one; its paints may run.
    WidgetMessageQueueProcessEx(MSG_PAINT);
    switch (frame) {
        case 1:
            _frame1();
            break;
        case 2:
            _frame2();
            break;
        case 3:
            _frame3();
            break;
        case 4:
            _frame4();
            break;
        case 5:
            _frame5();
            break;
        default:
            break;
    }
}

void hmi_GotoFrameByName(const char* name) {
    hmi_GotoFrame(hmi_IndexOfFrame(name));
}

void FreeCurrentFrame() {
    switch (_CurrentFrame) {
        case 1:
            FreeWidget1();
            break;
        case 2:
            FreeWidget2();
            break;
        case 3:
            FreeWidget3();
            break;
        case 4:
            FreeWidget4();
            break;
        case 5:
            FreeWidget5();
            break;
        default:
            break;
    }
}
