#include "input/touch.hpp"

#include "display/hmi_Init.hpp"
#include "periph/adc.hpp"
#include "periph/cpu.hpp"
#include "periph/gpio.hpp"
#include "periph/hw_regs.hpp"
#include "periph/interrupt.hpp"
#include "periph/sysctl.hpp"
#include "periph/timer.hpp"
#include "sound/beep.hpp"
#include "widgets/widget.hpp"

volatile int16_t g_sTouchX = 0;
volatile int16_t g_sTouchY = 0;
volatile uint32_t g_ulTSState = 0;
volatile uint8_t g_bReverseLongAxis = 0;
int32_t _Touch_M0 = 0;
int32_t _Touch_M1 = 0;
int32_t _Touch_M2 = 0;
int32_t _Touch_M3 = 0;
int32_t _Touch_M4 = 0;
int32_t _Touch_M5 = 0;
int32_t _Touch_M6 = 0;
volatile uint8_t g_cState = 0;
volatile int8_t g_cIndex = 0;
int16_t g_psSamples[8] = {};
volatile TouchCallback g_pfnTSHandler = nullptr;

volatile uint32_t g_ulLCDIdleTimeoutMS = 0;
volatile uint32_t g_ulLCDIdleTimeCountMS = 0;
volatile uint8_t g_ucLCDIdleStatus = 0;
volatile uint8_t g_ucLCDIdleBeepOff = 0;
volatile uint8_t g_ucLCDIdleBeepOn = 0;

namespace {

using hw::gpio::DataAddress;
using hw::gpio::kPortC;
using hw::gpio::kPortD;

constexpr uint32_t kSequencer = 3;
constexpr uint32_t kChannelX = 6;
constexpr uint32_t kChannelY = 4;
constexpr uint8_t kXPins = 0x30;  // PC4 high side, PC5 low side
constexpr uint8_t kXHigh = 0x10;
constexpr uint8_t kYPins = 0x03;  // PD0, PD1
constexpr uint32_t kSamplesPerSecond = 1000;
// A reading must exceed this on both plates for the pair to count as pressed.
constexpr int32_t kPressThreshold = 99;

// Acquisition states: what the conversion that just completed was.
enum : uint32_t {
    kStart = 0,
    kReadX = 1,
    kReadY = 2,
    kSettleX = 3,
    kSettleY = 4,
};

// Debounce states.
constexpr uint8_t kNoTouch = 0;
constexpr uint8_t kTouching = 0x83;
constexpr uint8_t kReleased = 0x80;  // reached by counting down from kTouching: the touch ends
constexpr int8_t kRingFilling = -8;

// Idle states.
constexpr uint8_t kLit = 0;
constexpr uint8_t kDark = 6;
constexpr uint8_t kWakePressed = 3;
constexpr uint32_t kWakeLevel = 255;

// Plate drive: levels through the masked data address first, then the direction bits.
void DriveX() {
    HWREG(DataAddress(kPortC, kXPins)) = kXHigh;
    HWREG(kPortC + hw::gpio::kDir) |= kXPins;
    HWREG(DataAddress(kPortD, kYPins)) = 0;
    HWREG(kPortD + hw::gpio::kDir) |= kYPins;
}

void DriveY() {
    HWREG(DataAddress(kPortC, kXPins)) = 0;
    HWREG(kPortC + hw::gpio::kDir) |= kXPins;
    HWREG(DataAddress(kPortD, kYPins)) = g_bReverseLongAxis != 0 ? 0x02 : 0x01;
    HWREG(kPortD + hw::gpio::kDir) |= kYPins;
}

void Release(uint32_t port, uint8_t pins) {
    HWREG(port + hw::gpio::kDir) &= ~static_cast<uint32_t>(pins);
}

void SelectChannel(uint32_t channel) {
    HWREG(hw::adc::kAdc0 + hw::adc::kSsmux3) = channel;
}

int16_t ReadResult() {
    return static_cast<int16_t>(HWREG(hw::adc::kAdc0 + hw::adc::kSsfifo3) & 0xFFFFu);
}

void Report(uint32_t message, int32_t pair) {
    const TouchCallback handler = g_pfnTSHandler;
    if (handler != nullptr) {
        (void)handler(message, g_psSamples[pair], g_psSamples[pair + 1]);
    }
}

void Store(int32_t pair, touch::Point p) {
    g_psSamples[pair] = p.x;
    g_psSamples[pair + 1] = p.y;
}

// The touch side of the idle timer. Returns true when the pair is used up by it (display dark).
bool IdleTouch(bool pressed) {
    if (g_ucLCDIdleStatus == kLit) {
        if (g_ulLCDIdleTimeoutMS != 0 && pressed) {
            g_ulLCDIdleTimeCountMS = 0;
        }
        return false;
    }
    // Dark: three pressed pairs (6 -> 3), then three released ones (3 -> 0) wake the display.
    if (pressed) {
        if (g_ucLCDIdleStatus > kWakePressed) {
            g_ucLCDIdleStatus = static_cast<uint8_t>(g_ucLCDIdleStatus - 1);
        }
    } else if (g_ucLCDIdleStatus <= kWakePressed) {
        g_ucLCDIdleStatus = static_cast<uint8_t>(g_ucLCDIdleStatus - 1);
        if (g_ucLCDIdleStatus == kLit) {
            g_ulLCDIdleTimeCountMS = 0;
            hmi_BacklightSet(kWakeLevel);
            if (g_ucLCDIdleBeepOn != 0) {
                hmi_Beep();
            }
        }
    }
    return true;
}

void Released() {
    if (g_cState == kNoTouch) {
        return;
    }
    g_cState = static_cast<uint8_t>(g_cState - 1);
    if (g_cState == kReleased) {
        g_cState = kNoTouch;
        // Only a touch that was reported pressed is reported released. A touch that ends while
        // the ring is still filling sent no pointer-down; its release would go to whichever
        // widget still holds an earlier touch whose own release was lost, and run that
        // widget's release handler for a tap somewhere else.
        if (g_cIndex >= 0) {
            Report(MSG_POINTER_UP, g_cIndex);
        }
    }
}

void Pressed(int32_t rawX, int32_t rawY) {
    const touch::Point p = touch::Calibrate(rawX, rawY);
    if (g_cState != kTouching) {
        // Counting towards a touch (0 -> 1 -> 2 -> 3) or back into one (0x81 -> 0x82 -> 0x83):
        // only the third pair of a new touch is kept, as the ring's first pair.
        g_cState = static_cast<uint8_t>(g_cState + 1);
        if (g_cState == 3) {
            g_cState = kTouching;
            g_cIndex = kRingFilling;
            Store(0, p);
        }
        return;
    }
    // The ring position is a signed byte by design (negative while the ring fills).
    const int32_t index = g_cIndex;  // NOLINT(bugprone-signed-char-misuse)
    if (index == -2) {
        Report(MSG_POINTER_DOWN, 0);
        Store(0, p);
        g_cIndex = 2;
    } else if (index < 0) {
        Store(index + 10, p);  // pairs 1, 2, 3 while the ring fills
        g_cIndex = static_cast<int8_t>(index + 2);
    } else {
        // Each move reports the pair taken four pairs earlier, which the new one replaces.
        Report(MSG_POINTER_MOVE, index);
        Store(index, p);
        g_cIndex = static_cast<int8_t>((index + 2) & 7);
    }
}

void ProcessPair() {
    const int32_t x = g_sTouchX;
    const int32_t y = g_sTouchY;
    const bool pressed = x > kPressThreshold && y > kPressThreshold;
    if (IdleTouch(pressed)) {
        return;
    }
    if (pressed) {
        Pressed(x, y);
    } else {
        Released();
    }
}

// 32-bit two's-complement arithmetic, as the target computes it (no overflow traps).
int32_t Wrap(uint32_t v) {
    return static_cast<int32_t>(v);
}
int32_t MultiplyAdd(int32_t a, int32_t x, int32_t b, int32_t y, int32_t c) {
    return Wrap(static_cast<uint32_t>(a) * static_cast<uint32_t>(x) +
                static_cast<uint32_t>(b) * static_cast<uint32_t>(y) + static_cast<uint32_t>(c));
}
int32_t Divide(int32_t n, int32_t d) {
    if (d == -1) {
        return Wrap(0u - static_cast<uint32_t>(n));  // INT32_MIN / -1 wraps as the divider does
    }
    return n / d;
}

}  // namespace

namespace touch {

Point Calibrate(int32_t rawX, int32_t rawY) {
    if (_Touch_M6 == 0) {
        return Point{0, 0};
    }
    const int32_t sx = Divide(MultiplyAdd(_Touch_M0, rawX, _Touch_M1, rawY, _Touch_M2), _Touch_M6);
    const int32_t sy = Divide(MultiplyAdd(_Touch_M3, rawX, _Touch_M4, rawY, _Touch_M5), _Touch_M6);
    return Point{static_cast<int16_t>(static_cast<uint16_t>(sx)),
                 static_cast<int16_t>(static_cast<uint16_t>(sy))};
}

}  // namespace touch

void TouchScreenInit() {
    g_ulTSState = kStart;
    g_pfnTSHandler = nullptr;
    g_bReverseLongAxis = 1;

    SysCtlPeripheralEnable(sysctl::kAdc0);
    SysCtlPeripheralEnable(sysctl::kGpioC);
    SysCtlPeripheralEnable(sysctl::kGpioD);
    SysCtlPeripheralEnable(sysctl::kTimer0);

    ADCHardwareOversampleConfigure(hw::adc::kAdc0, 4);
    ADCSequenceConfigure(hw::adc::kAdc0, kSequencer, adc::ADC_TRIGGER_TIMER, 0);
    ADCSequenceStepConfigure(hw::adc::kAdc0, kSequencer, 0,
                             adc::ADC_CTL_CH(kChannelX) | adc::ADC_CTL_END | adc::ADC_CTL_IE);
    ADCSequenceEnable(hw::adc::kAdc0, kSequencer);
    ADCIntEnable(hw::adc::kAdc0, kSequencer);
    IntEnable(hw::irq::kAdc0Sequence3);

    GPIOPinTypeGPIOOutput(kPortC, kXPins);
    GPIOPinTypeGPIOOutput(kPortD, kYPins);
    GPIOPinWrite(kPortC, kXPins, 0);
    GPIOPinWrite(kPortD, kYPins, 0);

    // The sampling clock runs for good once started.
    if (TimerIsEnabled(hw::timer::kTimer0, timer::TIMER_A)) {
        return;
    }
    TimerConfigure(hw::timer::kTimer0, timer::kSplitPair | timer::kAPeriodic | timer::kBPeriodic);
    TimerLoadSet(hw::timer::kTimer0, timer::TIMER_A, SysCtlClockGet() / kSamplesPerSecond - 1);
    TimerControlTrigger(hw::timer::kTimer0, timer::TIMER_A, 1);
    TimerEnable(hw::timer::kTimer0, timer::TIMER_A);
}

void TouchScreenCallbackSet(TouchCallback callback) {
    g_pfnTSHandler = callback;
}

void TouchScreenSetParam(int32_t m0, int32_t m1, int32_t m2, int32_t m3, int32_t m4, int32_t m5,
                         int32_t m6) {
    _Touch_M0 = m0;
    _Touch_M1 = m1;
    _Touch_M2 = m2;
    _Touch_M3 = m3;
    _Touch_M4 = m4;
    _Touch_M5 = m5;
    _Touch_M6 = m6;
}

void TouchScreenIntHandler() {
    ADCIntClear(hw::adc::kAdc0, kSequencer);
    switch (g_ulTSState) {
        case kStart:
            DriveX();
            SelectChannel(kChannelX);
            g_ulTSState = kSettleX;
            break;
        case kSettleX:
            (void)ReadResult();  // taken while the plate settled
            Release(kPortD, kYPins);
            g_ulTSState = kReadX;
            break;
        case kReadX:
            g_sTouchX = ReadResult();
            DriveY();
            SelectChannel(kChannelY);
            g_ulTSState = kSettleY;
            break;
        case kSettleY:
            (void)ReadResult();
            Release(kPortC, kXPins);
            g_ulTSState = kReadY;
            break;
        case kReadY:
        default:
            g_sTouchY = ReadResult();
            DriveX();
            SelectChannel(kChannelX);
            g_ulTSState = kSettleX;
            ProcessPair();
            break;
    }
}

void hmi_LCDIdleUpdate(uint32_t elapsed) {
    if (g_ulLCDIdleTimeCountMS >= g_ulLCDIdleTimeoutMS) {
        return;  // no timeout, or already dark
    }
    g_ulLCDIdleTimeCountMS = g_ulLCDIdleTimeCountMS + elapsed;
    if (g_ulLCDIdleTimeCountMS < g_ulLCDIdleTimeoutMS) {
        return;
    }
    hmi_BacklightSet(0);
    g_ucLCDIdleStatus = kDark;
    if (g_ucLCDIdleBeepOff != 0) {
        hmi_Beep();
    }
}
