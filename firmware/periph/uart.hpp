// UART operations. A UART is given by its base address (hw::uart::kUart1), interrupt sources
// as the IM/RIS/MIS bits (hw::uart::kIntRx ...).
#pragma once

#include <cstdint>

// Stops the UART, sets the baud-rate divisors from the clock and the line-control word
// (LCRH layout), then starts it with its FIFOs on. A baud rate of 0 changes nothing.
void UARTConfigSetExpClk(uint32_t base, uint32_t clock, uint32_t baud, uint32_t config);
// FIFOs on, transmitter and receiver on.
void UARTEnable(uint32_t base);
// Waits for the transmitter to finish, then FIFOs off and the UART off.
void UARTDisable(uint32_t base);
void UARTFIFOLevelSet(uint32_t base, uint32_t txLevel, uint32_t rxLevel);

void UARTIntEnable(uint32_t base, uint32_t sources);
void UARTIntDisable(uint32_t base, uint32_t sources);
// Masked status when masked is true, raw status otherwise.
uint32_t UARTIntStatus(uint32_t base, bool masked);
void UARTIntClear(uint32_t base, uint32_t sources);

bool UARTCharsAvail(uint32_t base);
// The next received character, or -1 when the receive FIFO is empty.
int32_t UARTCharGetNonBlocking(uint32_t base);
bool UARTSpaceAvail(uint32_t base);
// false when the transmit FIFO is full (the character is not sent).
bool UARTCharPutNonBlocking(uint32_t base, uint8_t character);
