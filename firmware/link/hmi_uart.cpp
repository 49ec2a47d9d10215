#include "link/hmi_uart.hpp"

#include <cstdlib>
#include <cstring>

#include "periph/cpu.hpp"
#include "periph/gpio.hpp"
#include "periph/hw_regs.hpp"
#include "periph/interrupt.hpp"
#include "periph/sysctl.hpp"
#include "periph/uart.hpp"

uint8_t g_pcUARTTxBuffer[kUartRingSize];
volatile uint32_t g_ulUARTTxWriteIndex = 0;
volatile uint32_t g_ulUARTTxReadIndex = 0;
uint8_t g_pcUARTRxBuffer[kUartRingSize];
volatile uint32_t g_ulUARTRxWriteIndex = 0;
volatile uint32_t g_ulUARTRxReadIndex = 0;
int32_t lTimeout = 200;

namespace {

using hw::uart::kUart1;

constexpr uint32_t kRingMask = kUartRingSize - 1;
constexpr uint8_t kUartPins = 0x0C;  // port D: pin 2 receive, pin 3 transmit
constexpr uint32_t kOneMillisecondDelay = 16666;

constexpr uint32_t kMaxConfigurationLength = 23;
constexpr uint32_t kMaxFieldLength = 7;
constexpr uint32_t kFieldCount = 5;
constexpr uint32_t kPortPrefixLength = 3;
const char kDefaultConfiguration[] = "COM1,115200,N,8,1";

uint32_t Advance(uint32_t index) {
    return (index + 1) & kRingMask;
}
bool TxEmpty() {
    return g_ulUARTTxReadIndex == g_ulUARTTxWriteIndex;
}
bool TxFull() {
    return Advance(g_ulUARTTxWriteIndex) == g_ulUARTTxReadIndex;
}
bool RxEmpty() {
    return g_ulUARTRxReadIndex == g_ulUARTRxWriteIndex;
}
bool RxFull() {
    return Advance(g_ulUARTRxWriteIndex) == g_ulUARTRxReadIndex;
}

void FlushTx() {
    const uint32_t wasMasked = CPUInterruptsOff();
    g_ulUARTTxReadIndex = 0;
    g_ulUARTTxWriteIndex = 0;
    CPUInterruptsRestore(wasMasked);
}

// The five fields of a configuration, each a zero-terminated copy.
struct Fields {
    char slot[kFieldCount][kMaxFieldLength + 1];
};

// Digits only, at least one of them not zero (so an empty field is not a number either).
bool IsPositiveDecimal(const char* text) {
    bool nonZero = false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') {
            return false;
        }
        nonZero = nonZero || *text != '0';
    }
    return nonZero;
}

// Splits at commas as a tokenizer does: empty fields are no fields, so later ones move up.
// Returns false when the configuration breaks a limit.
bool SplitConfiguration(const char* configuration, Fields& fields) {
    if (std::strlen(configuration) > kMaxConfigurationLength) {
        return false;
    }
    uint32_t count = 0;
    const char* p = configuration;
    for (;;) {
        while (*p == ',') {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        const char* end = p;
        while (*end != '\0' && *end != ',') {
            ++end;
        }
        const auto length = static_cast<uint32_t>(end - p);
        if (count == kFieldCount || length > kMaxFieldLength) {
            return false;
        }
        std::memcpy(fields.slot[count], p, length);
        fields.slot[count][length] = '\0';
        ++count;
        p = end;
    }
    if (count >= 1 && std::strlen(fields.slot[0]) < kPortPrefixLength) {
        return false;
    }
    return count < 2 || IsPositiveDecimal(fields.slot[1]);
}

void DefaultFields(Fields& fields) {
    const char* const defaults[kFieldCount] = {"COM1", "115200", "N", "8", "1"};
    for (uint32_t i = 0; i < kFieldCount; ++i) {
        std::strcpy(fields.slot[i], defaults[i]);
    }
}

uint32_t ParityBits(char letter) {
    switch (letter) {
        case 'E':
            return hw::uart::kLcrhParityEnable | hw::uart::kLcrhEvenParity;
        case 'O':
            return hw::uart::kLcrhParityEnable;
        case 'M':
            return hw::uart::kLcrhParityEnable | hw::uart::kLcrhStickParity;
        case 'S':
            return hw::uart::kLcrhParityEnable | hw::uart::kLcrhEvenParity |
                   hw::uart::kLcrhStickParity;
        default:
            return 0;
    }
}

uint32_t WordLengthBits(char digit) {
    uint32_t bits = 8;
    if (digit >= '5' && digit <= '7') {
        bits = static_cast<uint32_t>(digit - '0');
    }
    return (bits - 5) << hw::uart::kLcrhWordLengthShift;
}

}  // namespace

namespace hmi_uart {

PortSettings ParseConfiguration(const char* configuration) {
    Fields fields{};
    DefaultFields(fields);
    if (configuration == nullptr || !SplitConfiguration(configuration, fields)) {
        DefaultFields(fields);
        SplitConfiguration(kDefaultConfiguration, fields);
    }
    PortSettings settings{};
    settings.port = static_cast<uint32_t>(std::atoi(fields.slot[0] + kPortPrefixLength)) & 0xFFFFu;
    settings.baud = static_cast<uint32_t>(std::atol(fields.slot[1]));
    settings.lineControl = ParityBits(fields.slot[2][0]) | WordLengthBits(fields.slot[3][0]) |
                           (fields.slot[4][0] == '2' ? hw::uart::kLcrhTwoStopBits : 0);
    return settings;
}

}  // namespace hmi_uart

uint32_t uart_Open(const char* configuration) {
    const hmi_uart::PortSettings settings = hmi_uart::ParseConfiguration(configuration);
    uart_Init(settings.baud, settings.lineControl);
    return settings.port;
}

void uart_Init(uint32_t baud, uint32_t lineControl) {
    SysCtlPeripheralEnable(sysctl::kGpioD);
    IntMasterEnable();
    GPIOPinTypeUART(hw::gpio::kPortD, kUartPins);
    if (SysCtlPeripheralPresent(sysctl::kUart1) == 0) {
        return;
    }
    SysCtlPeripheralEnable(sysctl::kUart1);
    UARTConfigSetExpClk(kUart1, SysCtlClockGet(), baud, lineControl);
    UARTEnable(kUart1);
    UARTFIFOLevelSet(kUart1, hw::uart::kFifoTx1_8, hw::uart::kFifoRx1_8);
    UARTFlushRx();
    FlushTx();
    UARTIntDisable(kUart1, hw::uart::kIntAll);
    UARTIntEnable(kUart1, hw::uart::kIntRx | hw::uart::kIntRxTimeout);
    IntEnable(hw::irq::kUart1);
    UARTIntEnable(kUart1, hw::uart::kIntRx | hw::uart::kIntRxTimeout);
}

void UARTIntHandler() {
    const uint32_t status = UARTIntStatus(kUart1, true);
    UARTIntClear(kUart1, status);

    if ((status & hw::uart::kIntTx) != 0) {
        UARTPrimeTransmit(kUart1);
        if (TxEmpty()) {
            UARTIntDisable(kUart1, hw::uart::kIntTx);
        }
    }
    if ((status & (hw::uart::kIntRx | hw::uart::kIntRxTimeout)) != 0) {
        while (UARTCharsAvail(kUart1)) {
            const auto byte = static_cast<uint8_t>(UARTCharGetNonBlocking(kUart1));
            if (!RxFull()) {
                g_pcUARTRxBuffer[g_ulUARTRxWriteIndex] = byte;
                g_ulUARTRxWriteIndex = Advance(g_ulUARTRxWriteIndex);
            }
        }
    }
}

void UARTPrimeTransmit(uint32_t) {
    if (TxEmpty()) {
        return;
    }
    // The handler moves the same read index; keep it out while this runs in thread mode.
    IntDisable(hw::irq::kUart1);
    while (UARTSpaceAvail(kUart1) && !TxEmpty()) {
        UARTCharPutNonBlocking(kUart1, g_pcUARTTxBuffer[g_ulUARTTxReadIndex]);
        g_ulUARTTxReadIndex = Advance(g_ulUARTTxReadIndex);
    }
    IntEnable(hw::irq::kUart1);
}

uint32_t uart_BinWrite(uint32_t, const uint8_t* data, uint32_t length) {
    uint32_t sent = 0;
    do {
        while (sent < length && !TxFull()) {
            g_pcUARTTxBuffer[g_ulUARTTxWriteIndex] = data[sent];
            g_ulUARTTxWriteIndex = Advance(g_ulUARTTxWriteIndex);
            ++sent;
        }
        while (!TxEmpty()) {
            UARTPrimeTransmit(kUart1);
            UARTIntEnable(kUart1, hw::uart::kIntTx);
        }
    } while (sent < length);
    return 1;
}

uint32_t UARTgets(uint8_t* buffer, uint32_t size, uint32_t textMode) {
    // In text mode one byte stays free for the terminating zero (none fits when size is 0).
    const bool text = textMode != 0;
    const uint32_t limit = text ? (size > 0 ? size - 1 : 0) : size;
    int32_t budget = lTimeout;
    uint32_t count = 0;
    for (;;) {
        if (RxEmpty()) {
            SysCtlDelay(kOneMillisecondDelay);
            if (--budget < 0) {
                return 0;
            }
            continue;
        }
        const uint8_t byte = g_pcUARTRxBuffer[g_ulUARTRxReadIndex];
        g_ulUARTRxReadIndex = Advance(g_ulUARTRxReadIndex);

        if (text && (byte == '\r' || byte == '\n' || byte == 0x1B)) {
            if (size > 0) {
                buffer[count] = 0;
            }
            return count;
        }
        if (count >= limit) {
            continue;
        }
        buffer[count++] = byte;
        if (count >= limit) {
            if (text) {
                buffer[count] = 0;
            }
            return count;
        }
    }
}

uint32_t uart_BinRead(uint32_t, uint8_t* buffer, uint32_t length) {
    return UARTgets(buffer, length, 0) != 0 ? 1 : 0;
}

uint32_t uart_BinSendCmd(uint32_t handle, const uint8_t* request, uint32_t requestLength,
                         uint8_t* response, uint32_t responseLength) {
    // A late answer to an earlier request must not be taken for this one's.
    UARTFlushRx();
    uart_BinWrite(handle, request, requestLength);
    return uart_BinRead(handle, response, responseLength);
}

void UARTFlushRx() {
    const uint32_t wasMasked = CPUInterruptsOff();
    g_ulUARTRxReadIndex = 0;
    g_ulUARTRxWriteIndex = 0;
    CPUInterruptsRestore(wasMasked);
}
