// Interrupt controller and the processor's interrupt mask. Interrupt numbers are exception
// numbers (vector table entries): 15 SysTick, 16 + n peripheral interrupt n.
#pragma once

#include <cstdint>

// Both return 1 if interrupts were masked before the call, else 0.
uint32_t IntMasterEnable();
uint32_t IntMasterDisable();

void IntEnable(uint32_t interrupt);
void IntDisable(uint32_t interrupt);
