// GPIO ports: pin configuration and masked pin access. Ports are given by their base address
// (hw::gpio::kPortA ...), pins as a bit mask of the port's eight pins.
#pragma once

#include <cstdint>

void GPIOPinTypeGPIOOutput(uint32_t port, uint8_t pins);
void GPIOPinTypeGPIOInput(uint32_t port, uint8_t pins);
// Gives the pins to the port's UART or timer (alternate function), digital, 2 mA.
void GPIOPinTypeUART(uint32_t port, uint8_t pins);
void GPIOPinTypeTimer(uint32_t port, uint8_t pins);

// One masked store: only the given pins change, to the matching bits of value.
void GPIOPinWrite(uint32_t port, uint8_t pins, uint8_t value);
// The levels of the given pins (other bits 0).
uint8_t GPIOPinRead(uint32_t port, uint8_t pins);
