// The serial port to the remote module: configuration, the interrupt-driven rings of UART1, and
// blocking binary send and receive with a time-out. The layer serves UART1 only; handles are
// accepted and ignored.
#pragma once

#include <cstdint>

constexpr uint32_t kUartRingSize = 256;

extern uint8_t g_pcUARTTxBuffer[kUartRingSize];
extern volatile uint32_t g_ulUARTTxWriteIndex;
extern volatile uint32_t g_ulUARTTxReadIndex;
extern uint8_t g_pcUARTRxBuffer[kUartRingSize];
extern volatile uint32_t g_ulUARTRxWriteIndex;
extern volatile uint32_t g_ulUARTRxReadIndex;
// 1 ms waits one read call may spend on an empty receive ring.
extern int32_t lTimeout;

// Opens UART1 with "PORT,BAUD,PARITY,DATA,STOP" (null: "COM1,115200,N,8,1"); returns the port
// number. A configuration that breaks the limits (over 23 characters, a field over 7, more than
// five fields, a port field under three characters, a baud rate that is not a positive decimal
// number) is ignored as a whole and the defaults are used.
uint32_t uart_Open(const char* configuration);
void uart_Init(uint32_t baud, uint32_t lineControl);

// 1 once every byte has been handed to the UART.
uint32_t uart_BinWrite(uint32_t handle, const uint8_t* data, uint32_t length);
// 1 if exactly length bytes arrived within the time-out, else 0 (bytes received stay in buffer).
uint32_t uart_BinRead(uint32_t handle, uint8_t* buffer, uint32_t length);
// Discards what was received so far, sends the request and reads the response.
uint32_t uart_BinSendCmd(uint32_t handle, const uint8_t* request, uint32_t requestLength,
                         uint8_t* response, uint32_t responseLength);

// Bytes stored, or 0 on time-out. Text mode ends at CR, LF or ESC and stores a terminating zero.
uint32_t UARTgets(uint8_t* buffer, uint32_t size, uint32_t textMode);
void UARTFlushRx();
void UARTPrimeTransmit(uint32_t base);
void UARTIntHandler();

namespace hmi_uart {
// The parsed form of a configuration string (exposed for tests).
struct PortSettings {
    uint32_t port;
    uint32_t baud;
    uint32_t lineControl;
};
PortSettings ParseConfiguration(const char* configuration);
}  // namespace hmi_uart
