#include "timer_model.hpp"

#include "chip.hpp"

namespace sim {

using namespace timer;

namespace {
// Each field of halves A and B, indexed by Half.
constexpr uint32_t kEnableBit[2] = {CTL_TAEN, CTL_TBEN};
constexpr uint32_t kTriggerBit[2] = {CTL_TAOTE, CTL_TBOTE};
constexpr uint32_t kInvertBit[2] = {CTL_TAPWML, CTL_TBPWML};
constexpr uint32_t kTimeoutBit[2] = {INT_TATO, INT_TBTO};
}  // namespace

GpTimer::GpTimer(Scheduler& scheduler, Nvic& nvic, unsigned index)
    : scheduler_(scheduler), nvic_(nvic), index_(index) {}

bool GpTimer::enabled(Half half) const {
    return (ctl_ & kEnableBit[half]) != 0;
}

bool GpTimer::pwmMode(Half half) const {
    const uint32_t mode = halves_[half].mode;
    return (mode & TMR_ALTERNATE) != 0 && (mode & TMR_MODE) == TMR_PERIODIC;
}

Cycles GpTimer::periodOf(Half half) const {
    const HalfState& h = halves_[half];
    if (!split()) {
        return Cycles{halves_[kA].load} + 1;
    }
    if (pwmMode(half)) {
        // In PWM mode the prescaler extends the 16-bit counter.
        return ((Cycles{h.prescale & PR_MASK} << 16) | (h.load & HALF_MASK)) + 1;
    }
    return (Cycles{h.load & HALF_MASK} + 1) * (Cycles{h.prescale & PR_MASK} + 1);
}

GpTimer::Pwm GpTimer::pwm(Half half) const {
    Pwm out;
    out.running = split() && enabled(half) && pwmMode(half);
    out.periodClocks = static_cast<uint32_t>(periodOf(half));
    out.pulseClocks = halves_[half].match & HALF_MASK;
    out.inverted = (ctl_ & kInvertBit[half]) != 0;
    return out;
}

void GpTimer::schedule(Half half) {
    HalfState& h = halves_[half];
    if (h.event != 0) {
        scheduler_.cancel(h.event);
        h.event = 0;
    }
    if (!enabled(half) || (half == kB && !split())) {
        return;
    }
    const uint32_t countMode = h.mode & TMR_MODE;
    h.started = scheduler_.now();
    h.period = periodOf(half);
    if (pwmMode(half) || (countMode != TMR_ONE_SHOT && countMode != TMR_PERIODIC)) {
        return;  // PWM and capture modes raise no timeouts here
    }
    h.event = scheduler_.after(h.period, [this, half] { timeout(half); });
}

void GpTimer::stop(Half half) {
    HalfState& h = halves_[half];
    if (h.event != 0) {
        scheduler_.cancel(h.event);
        h.event = 0;
    }
}

void GpTimer::timeout(Half half) {
    HalfState& h = halves_[half];
    h.event = 0;
    ++h.timeouts;
    ris_ |= kTimeoutBit[half];
    updateLines();
    if ((ctl_ & kTriggerBit[half]) != 0 && adcTrigger_) {
        adcTrigger_();
    }
    if ((h.mode & TMR_MODE) == TMR_ONE_SHOT) {
        ctl_ &= ~kEnableBit[half];
        return;
    }
    // Periodic: reload with the current load value.
    h.started = scheduler_.now();
    h.period = periodOf(half);
    h.event = scheduler_.after(h.period, [this, half] { timeout(half); });
}

void GpTimer::updateLines() {
    const uint32_t masked = ris_ & imr_;
    nvic_.setLine(chip::TimerIrqA(index_), (masked & kTimeoutBit[kA]) != 0);
    nvic_.setLine(chip::TimerIrqB(index_), (masked & kTimeoutBit[kB]) != 0);
}

uint32_t GpTimer::counter(Half half) const {
    const HalfState& h = halves_[half];
    if (h.event == 0 || h.period == 0) {
        return h.load;
    }
    const Cycles elapsed = scheduler_.now() - h.started;
    const Cycles remaining = h.period - (elapsed % h.period);
    return static_cast<uint32_t>(remaining / (Cycles{h.prescale & PR_MASK} + 1));
}

void GpTimer::controlChanged(uint32_t previous) {
    for (const Half half : {kA, kB}) {
        const bool was = (previous & kEnableBit[half]) != 0;
        if (was && !enabled(half)) {
            stop(half);
        } else if (!was && enabled(half)) {
            schedule(half);
        }
    }
}

uint32_t GpTimer::read(uint32_t offset, unsigned) {
    switch (offset) {
        case CFG:
            return cfg_;
        case TAMR:
            return halves_[kA].mode;
        case TBMR:
            return halves_[kB].mode;
        case CTL:
            return ctl_;
        case IMR:
            return imr_;
        case RIS:
            return ris_;
        case MIS:
            return ris_ & imr_;
        case TAILR:
            return halves_[kA].load;
        case TBILR:
            return halves_[kB].load;
        case TAMATCHR:
            return halves_[kA].match;
        case TBMATCHR:
            return halves_[kB].match;
        case TAPR:
            return halves_[kA].prescale;
        case TBPR:
            return halves_[kB].prescale;
        case TAR:
            return counter(kA);
        case TBR:
            return counter(kB);
        default:
            return 0;  // the bus decoder has reported the offset
    }
}

void GpTimer::write(uint32_t offset, uint32_t value, unsigned) {
    // Split halves are 16 bits wide, their prescalers 8.
    const uint32_t half16 = split() ? value & HALF_MASK : value;
    switch (offset) {
        case CFG:
            cfg_ = value & CFG_MASK;
            break;
        case TAMR:
            halves_[kA].mode = value & TMR_MASK;
            break;
        case TBMR:
            halves_[kB].mode = value & TMR_MASK;
            break;
        case CTL: {
            const uint32_t previous = ctl_;
            ctl_ = value;
            controlChanged(previous);
            break;
        }
        case IMR:
            imr_ = value;
            updateLines();
            break;
        case ICR:
            ris_ &= ~value;
            updateLines();
            break;
        case TAILR:
            halves_[kA].load = half16;
            break;
        case TBILR:
            halves_[kB].load = value & HALF_MASK;
            break;
        case TAMATCHR:
            halves_[kA].match = half16;
            break;
        case TBMATCHR:
            halves_[kB].match = value & HALF_MASK;
            break;
        case TAPR:
            halves_[kA].prescale = value & PR_MASK;
            break;
        case TBPR:
            halves_[kB].prescale = value & PR_MASK;
            break;
        default:
            break;  // the bus decoder has reported the offset
    }
    for (auto& listener : listeners_) {
        listener();
    }
}

}  // namespace sim
