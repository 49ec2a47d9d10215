// The core's SysTick timer, clocked by the processor clock.
#pragma once

#include <cstdint>

void SysTickPeriodSet(uint32_t period);  // period in clocks, 1..2^24
uint32_t SysTickPeriodGet();
void SysTickEnable();
void SysTickDisable();
void SysTickIntEnable();
void SysTickIntDisable();
