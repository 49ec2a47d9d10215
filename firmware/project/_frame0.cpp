#include "project/_frame0.hpp"

#include <cstring>

#include "display/hmi_Init.hpp"
#include "graphics/context.hpp"
#include "link/hmi_uart.hpp"
#include "link/mbrtum.hpp"
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

// The remote module: slave 1, holding registers 98-119 mirrored in Dev_1_AO0 ... Dev_1_AO21.
constexpr uint8_t kDev1Slave = 1;
constexpr uint16_t kDev1FirstRegister = 98;
constexpr uint8_t kReadHoldingRegisters = 3;
constexpr int32_t kDev1RegisterCount = 22;
constexpr VarRecord* kDev1Block[kDev1RegisterCount] = {
    &Dev_1_AO0,  &Dev_1_AO1,  &Dev_1_AO2,  &Dev_1_AO3,  &Dev_1_AO4,  &Dev_1_AO5,
    &Dev_1_AO6,  &Dev_1_AO7,  &Dev_1_AO8,  &Dev_1_AO9,  &Dev_1_AO10, &Dev_1_AO11,
    &Dev_1_AO12, &Dev_1_AO13, &Dev_1_AO14, &Dev_1_AO15, &Dev_1_AO16, &Dev_1_AO17,
    &Dev_1_AO18, &Dev_1_AO19, &Dev_1_AO20, &Dev_1_AO21};
}  // namespace

void _frame0() {
    Dev_1 = uart_Open("COM0,115200,N,8,1");
    RegisterNullWidgetMsgProc(default_timer_proc);
    DrawContext context{};
    GrContextInit(&context, &g_sDisplayDriverROM);
    hmi_GotoFrame(1);
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
    (void)ladder_main(1);
    (void)default_output(1);
    const uint32_t failed = polling_Dev_1();
    var_set(&Dev_1_ERROR, failed != 0 ? 1 : 0);
    (void)default_input(1);
    return 1;
}

// One exchange with the remote module: the whole block is written when the operator changed any
// register since the last write, otherwise it is read. 1 when the exchange failed, else 0.
uint32_t polling_Dev_1() {
    if (Dev_1_ENABLE_DEVICE.value == 0) {
        return 0;
    }
    __UNDEFINED__.value = 0;
    uint16_t block[kDev1RegisterCount] = {};

    if (Dev_1_ENABLE_AO.value != 0 && Dev_1_W_ACTION.value != 0) {
        // Every write mark is consumed here, whether or not the write then succeeds.
        uint32_t changed = 0;
        for (int32_t i = 0; i < kDev1RegisterCount; ++i) {
            changed += var_flag_is_write(kDev1Block[i]);
            block[i] = static_cast<uint16_t>(kDev1Block[i]->value);
        }
        if (changed != 0) {
            return mrm_WriteAO(Dev_1, kDev1Slave, kDev1FirstRegister, kDev1RegisterCount, block) ==
                           1
                       ? 0
                       : 1;
        }
    }

    for (auto& word : block) {
        word = 0;
    }
    if (Dev_1_ENABLE_AO.value == 0 || Dev_1_R_ACTION.value == 0) {
        return 0;
    }
    if (mrm_ReadAIO(Dev_1, kDev1Slave, kReadHoldingRegisters, kDev1FirstRegister,
                    kDev1RegisterCount, block) == 0) {
        return 1;
    }
    for (int32_t i = 0; i < kDev1RegisterCount; ++i) {
        var_set(kDev1Block[i], block[i]);
    }
    return 0;
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
