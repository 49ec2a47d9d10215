// General-purpose timers. A timer is given by its base address (hw::timer::kTimer0 ...), a half
// by TIMER_A, TIMER_B or TIMER_BOTH.
#pragma once

#include <cstdint>

namespace timer {
constexpr uint32_t TIMER_A = 0x00FF;
constexpr uint32_t TIMER_B = 0xFF00;
constexpr uint32_t TIMER_BOTH = 0xFFFF;

// Configuration words of TimerConfigure: the CFG value in bits 31-24, half A's mode in bits
// 7-0, half B's mode in bits 15-8.
constexpr uint32_t kSplitPair = 0x04000000;
constexpr uint32_t kAPeriodic = 0x00000002;
constexpr uint32_t kAPwm = 0x0000000A;
constexpr uint32_t kBPeriodic = 0x00000200;
constexpr uint32_t kBPwm = 0x00000A00;

// Interrupt sources of TimerIntEnable / TimerIntClear.
constexpr uint32_t TIMER_TIMA_TIMEOUT = 1u << 0;
constexpr uint32_t TIMER_TIMB_TIMEOUT = 1u << 8;
}  // namespace timer

// Stops both halves and sets the timer's layout and the halves' modes.
void TimerConfigure(uint32_t base, uint32_t config);
// Inverts (invert != 0) or restores the PWM output level of the halves.
void TimerControlLevel(uint32_t base, uint32_t halves, uint32_t invert);
// Lets the halves' timeouts trigger the ADC (enable != 0) or not.
void TimerControlTrigger(uint32_t base, uint32_t halves, uint32_t enable);
void TimerEnable(uint32_t base, uint32_t halves);
void TimerDisable(uint32_t base, uint32_t halves);
// Whether the half (TIMER_A or TIMER_B) is counting.
bool TimerIsEnabled(uint32_t base, uint32_t half);
void TimerLoadSet(uint32_t base, uint32_t halves, uint32_t value);
uint32_t TimerLoadGet(uint32_t base, uint32_t half);
void TimerMatchSet(uint32_t base, uint32_t halves, uint32_t value);
uint32_t TimerMatchGet(uint32_t base, uint32_t half);
void TimerPrescaleSet(uint32_t base, uint32_t halves, uint32_t value);
uint32_t TimerPrescaleGet(uint32_t base, uint32_t half);
void TimerIntEnable(uint32_t base, uint32_t sources);
void TimerIntDisable(uint32_t base, uint32_t sources);
void TimerIntClear(uint32_t base, uint32_t sources);
// Raw (masked = false) or masked interrupt status.
uint32_t TimerIntStatus(uint32_t base, bool masked);
