// Project start, tick trigger and control cycle of the generated project.
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
