// System control: clock configuration, peripheral clock gates and presence, delays.
#pragma once

#include <cstdint>

// Peripheral identifiers: the clock-gate register (RCGC0..2, which matches the presence register
// DC1, DC2, DC4 bit for bit) in bits 31-28 and the peripheral's bit below.
namespace sysctl {
constexpr uint32_t PeripheralId(uint32_t gateRegister, uint32_t bit) {
    return (gateRegister << 28) | (1u << bit);
}
constexpr uint32_t kAdc0 = PeripheralId(0, 16);
constexpr uint32_t kUart1 = PeripheralId(1, 1);
constexpr uint32_t kTimer0 = PeripheralId(1, 16);
constexpr uint32_t kTimer1 = PeripheralId(1, 17);
constexpr uint32_t kTimer2 = PeripheralId(1, 18);
constexpr uint32_t kTimer3 = PeripheralId(1, 19);
constexpr uint32_t kGpioA = PeripheralId(2, 0);
constexpr uint32_t kGpioB = PeripheralId(2, 1);
constexpr uint32_t kGpioC = PeripheralId(2, 2);
constexpr uint32_t kGpioD = PeripheralId(2, 3);
constexpr uint32_t kGpioE = PeripheralId(2, 4);
constexpr uint32_t kGpioF = PeripheralId(2, 5);
constexpr uint32_t kGpioG = PeripheralId(2, 6);

// The configuration word of SysCtlClockSet has the layout of the RCC register.
constexpr uint32_t kConfig50MHzFromPll8MHzCrystal = 0x01C00380;

// Clock derived from an RCC value, as the library computes it (0 if the source is unknown).
uint32_t ClockFromRcc(uint32_t rcc);
}  // namespace sysctl

void SysCtlClockSet(uint32_t config);
uint32_t SysCtlClockGet();
void SysCtlDelay(uint32_t count);
void SysCtlPeripheralEnable(uint32_t peripheral);
uint32_t SysCtlPeripheralPresent(uint32_t peripheral);
