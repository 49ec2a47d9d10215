#include "sound/sound.hpp"

#include "periph/cpu.hpp"
#include "periph/gpio.hpp"
#include "periph/hw_regs.hpp"
#include "periph/interrupt.hpp"
#include "periph/sysctl.hpp"
#include "periph/timer.hpp"

uint32_t g_ulSystemClock = 0;
const uint16_t* volatile g_pusMusic = nullptr;
volatile uint16_t g_usMusicLength = 0;
volatile uint16_t g_usMusicCount = 0;
volatile uint8_t g_ucVolume = 100;

namespace {

constexpr uint32_t kTimer = hw::timer::kTimer2;
constexpr uint32_t kPort = hw::gpio::kPortC;
constexpr uint8_t kSpeakerPin = 0x80;     // port C pin 7
constexpr uint32_t kIdlePitchHz = 40000;  // above hearing
constexpr uint32_t kPulsePerVolume = 26;  // timer clocks of pulse per volume step
constexpr uint32_t kTickPrescale = 3;     // half B counts every 4 clocks
constexpr uint32_t kTickDivisor = 800;    // clock / 4 / (clock / 800) = 200 ticks a second

// Port C's direction and function registers are also rewritten by the touch interrupt; when a
// tune is started from the main loop these read-modify-write sequences must not interleave.
class PortCGuard {
  public:
    PortCGuard() : wasMasked_(CPUInterruptsOff()) {}
    ~PortCGuard() { CPUInterruptsRestore(wasMasked_); }
    PortCGuard(const PortCGuard&) = delete;
    PortCGuard& operator=(const PortCGuard&) = delete;

  private:
    uint32_t wasMasked_;
};

}  // namespace

void SoundInit() {
    g_ulSystemClock = SysCtlClockGet();
    SysCtlPeripheralEnable(sysctl::kGpioC);
    SysCtlPeripheralEnable(sysctl::kTimer2);
    {
        PortCGuard guard;
        GPIOPinTypeGPIOOutput(kPort, kSpeakerPin);
    }
    GPIOPinWrite(kPort, kSpeakerPin, 0);
    TimerConfigure(kTimer, timer::kSplitPair | timer::kAPwm | timer::kBPeriodic);
    TimerControlLevel(kTimer, timer::TIMER_A, 1);
}

void SoundEnable() {
    TimerLoadSet(kTimer, timer::TIMER_A, g_ulSystemClock / kIdlePitchHz - 1);
    SoundVolumeSet(g_ucVolume);
    TimerEnable(kTimer, timer::TIMER_A);
    PortCGuard guard;
    GPIOPinTypeTimer(kPort, kSpeakerPin);
}

void SoundVolumeSet(uint8_t volume) {
    TimerMatchSet(kTimer, timer::TIMER_A, volume * kPulsePerVolume);
    g_ucVolume = volume;
}

void SoundMute() {
    TimerDisable(kTimer, timer::TIMER_A);
    {
        PortCGuard guard;
        GPIOPinTypeGPIOOutput(kPort, kSpeakerPin);
    }
    GPIOPinWrite(kPort, kSpeakerPin, 0);
}

void SoundPlay(const uint16_t* tune, uint16_t length) {
    g_usMusicLength = length;
    g_usMusicCount = 0;
    g_pusMusic = tune;
    SoundEnable();
    // The 5 ms tick, once started, runs for good.
    if (TimerPrescaleGet(kTimer, timer::TIMER_B) == kTickPrescale) {
        return;
    }
    TimerPrescaleSet(kTimer, timer::TIMER_B, kTickPrescale);
    TimerLoadSet(kTimer, timer::TIMER_B, g_ulSystemClock / kTickDivisor - 1);
    TimerEnable(kTimer, timer::TIMER_B);
    TimerIntEnable(kTimer, timer::TIMER_TIMB_TIMEOUT);
    IntEnable(hw::irq::kTimer2B);
}

void SoundIntHandler() {
    TimerIntClear(kTimer, timer::TIMER_TIMB_TIMEOUT);
    const uint16_t* tune = g_pusMusic;
    if (tune == nullptr) {
        return;  // between tunes the count stands still
    }
    const uint32_t length = g_usMusicLength;
    const uint32_t count = g_usMusicCount;
    // The first pair that has not started yet.
    uint32_t i = 0;
    while (i < length && tune[i] <= count) {
        i += 2;
    }
    if (i >= length) {
        SoundMute();
        g_pusMusic = nullptr;
    } else if (i >= 2 && tune[i - 2] == count) {
        // A frequency of 0 is a rest: the generator goes back to its inaudible idle pitch rather
        // than dividing by zero.
        const uint32_t hz = tune[i - 1] != 0 ? tune[i - 1] : kIdlePitchHz;
        TimerLoadSet(kTimer, timer::TIMER_A, g_ulSystemClock / hz - 1);
    }
    g_usMusicCount = static_cast<uint16_t>(count + 1);
}
