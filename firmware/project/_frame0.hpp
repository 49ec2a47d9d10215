// Project start, tick trigger, control cycle and the frame manager of the generated project.
#pragma once

#include <cstdint>

#include "widgets/widget.hpp"

extern uint32_t g_TimerTicksCount;  // written and read by the tick handler only
extern volatile uint32_t table_init_flag;
extern uint32_t Dev_1;

void _frame0();
void hmi_TimerTrigger();
uint32_t default_timer_proc(WidgetRecord* widget, uint32_t message, uint32_t param1,
                            uint32_t param2);
// One Modbus exchange with the remote module; 1 when it failed, 0 otherwise.
uint32_t polling_Dev_1();

// Frame manager. Frames are numbered 1..5; 0 means none.
constexpr uint32_t kFrameCount = 5;
extern const char* const g_FrameNames[kFrameCount];
extern uint32_t _CurrentFrame;

// Number of the frame with exactly this name, 0 if none.
uint32_t hmi_IndexOfFrame(const char* name);
// Delivers pending paints, drops every other pending message, then enters the frame (1..5).
void hmi_GotoFrame(uint32_t frame);
void hmi_GotoFrameByName(const char* name);
void FreeCurrentFrame();
