// The resistive touch screen, sampled in the ADC interrupt: plate drive, calibration, debounce
// and pointer messages; and the backlight idle timer, which the touch interrupt wakes.
#pragma once

#include <cstdint>

// Receiver of pointer messages (MSG_POINTER_DOWN, _MOVE, _UP with screen x, y); result ignored.
using TouchCallback = uint32_t (*)(uint32_t message, int32_t x, int32_t y);

// Last raw readings of the X and Y plates (ADC counts).
extern volatile int16_t g_sTouchX;
extern volatile int16_t g_sTouchY;

void TouchScreenInit();
void TouchScreenCallbackSet(TouchCallback callback);
void TouchScreenSetParam(int32_t m0, int32_t m1, int32_t m2, int32_t m3, int32_t m4, int32_t m5,
                         int32_t m6);
void TouchScreenIntHandler();

// Advances the idle timer by elapsed milliseconds (the SysTick interrupt, every tick).
void hmi_LCDIdleUpdate(uint32_t elapsed);

// The module's own state, shared only by the touch and SysTick interrupts. Declared here so that
// tests and the simulator's tools can observe it; no other firmware module uses it.
extern volatile uint32_t g_ulTSState;
extern volatile uint8_t g_bReverseLongAxis;
extern int32_t _Touch_M0, _Touch_M1, _Touch_M2, _Touch_M3, _Touch_M4, _Touch_M5, _Touch_M6;
extern volatile uint8_t g_cState;
extern volatile int8_t g_cIndex;
extern int16_t g_psSamples[8];
extern volatile TouchCallback g_pfnTSHandler;

extern volatile uint32_t g_ulLCDIdleTimeoutMS;
extern volatile uint32_t g_ulLCDIdleTimeCountMS;
extern volatile uint8_t g_ucLCDIdleStatus;
extern volatile uint8_t g_ucLCDIdleBeepOff;
extern volatile uint8_t g_ucLCDIdleBeepOn;

namespace touch {
// Screen coordinates from raw plate readings with the loaded coefficients: 32-bit arithmetic
// that wraps as the target's does, division toward zero, each result cut to 16 bits; (0, 0)
// without coefficients (M6 = 0).
struct Point {
    int16_t x;
    int16_t y;
};
Point Calibrate(int32_t rawX, int32_t rawY);
}  // namespace touch
