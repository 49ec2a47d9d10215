// The vector table at the start of the image, and the handlers that stop the firmware in place.
#include "core/startup.hpp"

#include "core/main.hpp"
#include "input/touch.hpp"
#include "link/hmi_uart.hpp"
#include "periph/cpu.hpp"
#include "sound/sound.hpp"

uint32_t pulStack[kStackBytes / sizeof(uint32_t)];

// clang-format off
__attribute__((section(".isr_vector"), used))
const VectorEntry g_pfnVectors[kVectorCount] = {
    // The initial stack pointer takes the place of a handler in entry 0.
    reinterpret_cast<VectorEntry>(pulStack + kStackBytes / sizeof(uint32_t)),
    ResetISR,                   //  1 reset
    NmiSR,                      //  2 NMI
    FaultISR,                   //  3 hard fault
    IntDefaultHandler,          //  4 memory management fault
    IntDefaultHandler,          //  5 bus fault
    IntDefaultHandler,          //  6 usage fault
    nullptr,                    //  7 reserved
    nullptr,                    //  8 reserved
    nullptr,                    //  9 reserved
    nullptr,                    // 10 reserved
    IntDefaultHandler,          // 11 SVCall
    IntDefaultHandler,          // 12 debug monitor
    nullptr,                    // 13 reserved
    IntDefaultHandler,          // 14 PendSV
    SysTickIntHandler,          // 15 SysTick
    IntDefaultHandler,          // 16 peripheral 0: GPIO port A
    IntDefaultHandler,          // 17 peripheral 1: GPIO port B
    IntDefaultHandler,          // 18 peripheral 2: GPIO port C
    IntDefaultHandler,          // 19 peripheral 3: GPIO port D
    IntDefaultHandler,          // 20 peripheral 4: GPIO port E
    IntDefaultHandler,          // 21 peripheral 5: UART0
    UARTIntHandler,             // 22 peripheral 6: UART1
    IntDefaultHandler,          // 23 peripheral 7
    IntDefaultHandler,          // 24 peripheral 8
    IntDefaultHandler,          // 25 peripheral 9
    IntDefaultHandler,          // 26 peripheral 10
    IntDefaultHandler,          // 27 peripheral 11
    IntDefaultHandler,          // 28 peripheral 12
    IntDefaultHandler,          // 29 peripheral 13
    IntDefaultHandler,          // 30 peripheral 14: ADC0 sequence 0
    IntDefaultHandler,          // 31 peripheral 15: ADC0 sequence 1
    IntDefaultHandler,          // 32 peripheral 16: ADC0 sequence 2
    TouchScreenIntHandler,      // 33 peripheral 17: ADC0 sequence 3
    IntDefaultHandler,          // 34 peripheral 18: watchdog
    IntDefaultHandler,          // 35 peripheral 19: timer 0 A
    IntDefaultHandler,          // 36 peripheral 20: timer 0 B
    IntDefaultHandler,          // 37 peripheral 21: timer 1 A
    IntDefaultHandler,          // 38 peripheral 22: timer 1 B
    IntDefaultHandler,          // 39 peripheral 23: timer 2 A
    SoundIntHandler,            // 40 peripheral 24: timer 2 B
    IntDefaultHandler,          // 41 peripheral 25
    IntDefaultHandler,          // 42 peripheral 26
    IntDefaultHandler,          // 43 peripheral 27
    IntDefaultHandler,          // 44 peripheral 28
    IntDefaultHandler,          // 45 peripheral 29: flash control
    IntDefaultHandler,          // 46 peripheral 30: GPIO port F
    IntDefaultHandler,          // 47 peripheral 31: GPIO port G
    IntDefaultHandler,          // 48 peripheral 32
    IntDefaultHandler,          // 49 peripheral 33
    IntDefaultHandler,          // 50 peripheral 34
    IntDefaultHandler,          // 51 peripheral 35
    IntDefaultHandler,          // 52 peripheral 36
    IntDefaultHandler,          // 53 peripheral 37
    IntDefaultHandler,          // 54 peripheral 38
    IntDefaultHandler,          // 55 peripheral 39
    IntDefaultHandler,          // 56 peripheral 40
    IntDefaultHandler,          // 57 peripheral 41
    IntDefaultHandler,          // 58 peripheral 42
    IntDefaultHandler,          // 59 peripheral 43
};
// clang-format on

// Each of these stops the firmware in place: an endless loop on itself. (On the host the idle
// hint tells the simulator that the firmware can never leave the loop.)
void NmiSR() {
    for (;;) {
        platform::IdleHint();
    }
}

void FaultISR() {
    for (;;) {
        platform::IdleHint();
    }
}

void IntDefaultHandler() {
    for (;;) {
        platform::IdleHint();
    }
}
