// A general-purpose timer: one 32-bit counter or two 16-bit halves A and B, periodic and
// one-shot timeouts with interrupts and the ADC trigger, and PWM on half A or B.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device.hpp"
#include "nvic.hpp"
#include "scheduler.hpp"

namespace sim {

// A general-purpose timer's registers, offsets from its base, each followed by its fields.
namespace timer {
enum : uint32_t {
    CFG = 0x000,
    CFG_MASK = 7,
    CFG_16_BIT = 4,  // two 16-bit halves
    TAMR = 0x004,    // TAMR and TBMR share these fields
    TMR_MODE = 3,
    TMR_ONE_SHOT = 1,
    TMR_PERIODIC = 2,
    TMR_ALTERNATE = 1u << 3,  // PWM
    TMR_MASK = 0xFF,
    TBMR = 0x008,
    CTL = 0x00C,
    CTL_TAEN = 1u << 0,
    CTL_TAOTE = 1u << 5,  // ADC trigger
    CTL_TAPWML = 1u << 6,
    CTL_TBEN = 1u << 8,
    CTL_TBOTE = 1u << 13,
    CTL_TBPWML = 1u << 14,
    IMR = 0x018,  // IMR, RIS, MIS and ICR share these bits
    INT_TATO = 1u << 0,
    INT_TBTO = 1u << 8,
    RIS = 0x01C,
    MIS = 0x020,
    ICR = 0x024,
    TAILR = 0x028,
    TBILR = 0x02C,
    TAMATCHR = 0x030,
    TBMATCHR = 0x034,
    TAPR = 0x038,
    TBPR = 0x03C,
    PR_MASK = 0xFF,
    TAR = 0x048,
    TBR = 0x04C,
    HALF_MASK = 0xFFFF,  // a split half's load and match
};
inline constexpr Register kRegisters[] = {
    {CFG, "CFG"},
    {TAMR, "TAMR"},
    {TBMR, "TBMR"},
    {CTL, "CTL"},
    {IMR, "IMR"},
    {RIS, "RIS", Access::ReadOnly},
    {MIS, "MIS", Access::ReadOnly},
    {ICR, "ICR", Access::WriteOnly},
    {TAILR, "TAILR"},
    {TBILR, "TBILR"},
    {TAMATCHR, "TAMATCHR"},
    {TBMATCHR, "TBMATCHR"},
    {TAPR, "TAPR"},
    {TBPR, "TBPR"},
    {TAR, "TAR", Access::ReadOnly},
    {TBR, "TBR", Access::ReadOnly},
};
}  // namespace timer

class GpTimer : public Device {
  public:
    enum Half { kA = 0, kB = 1 };

    // index: timer 0-3; its halves raise peripheral interrupts 19 + 2 index and 20 + 2 index.
    GpTimer(Scheduler& scheduler, Nvic& nvic, unsigned index);

    std::string name() const override { return "timer " + std::to_string(index_); }
    RegisterTable registers() const override { return timer::kRegisters; }
    uint32_t read(uint32_t offset, unsigned size) override;
    void write(uint32_t offset, uint32_t value, unsigned size) override;

    // What a half's PWM output does: running, period and pulse width in processor clocks.
    struct Pwm {
        bool running = false;
        uint32_t periodClocks = 0;
        uint32_t pulseClocks = 0;
        bool inverted = false;
    };
    Pwm pwm(Half half) const;

    bool enabled(Half half) const;
    uint32_t timeouts(Half half) const { return halves_[half].timeouts; }
    uint32_t prescale(Half half) const { return halves_[half].prescale; }
    uint32_t load(Half half) const { return halves_[half].load; }

    // Called on each timeout of a half whose ADC trigger output is enabled.
    void setAdcTrigger(std::function<void()> trigger) { adcTrigger_ = std::move(trigger); }
    // Called after every register write (the speaker watches the PWM output).
    void addListener(std::function<void()> listener) { listeners_.push_back(std::move(listener)); }

  private:
    struct HalfState {
        uint32_t mode = 0;
        uint32_t load = 0xFFFF;
        uint32_t match = 0xFFFF;
        uint32_t prescale = 0;
        EventId event = 0;
        Cycles started = 0;  // cycle of the last reload
        Cycles period = 0;
        uint32_t timeouts = 0;
    };

    bool split() const { return cfg_ == timer::CFG_16_BIT; }
    bool pwmMode(Half half) const;
    Cycles periodOf(Half half) const;
    void schedule(Half half);
    void stop(Half half);
    void timeout(Half half);
    void updateLines();
    uint32_t counter(Half half) const;
    void controlChanged(uint32_t previous);

    Scheduler& scheduler_;
    Nvic& nvic_;
    unsigned index_;
    uint32_t cfg_ = 0;
    uint32_t ctl_ = 0;
    uint32_t imr_ = 0;
    uint32_t ris_ = 0;
    std::array<HalfState, 2> halves_{};
    std::function<void()> adcTrigger_;
    std::vector<std::function<void()>> listeners_;
};

}  // namespace sim
