#include "timer_model.hpp"

namespace sim {

namespace {
constexpr uint32_t kEnableBit[2] = {1u << 0, 1u << 8};
constexpr uint32_t kTriggerBit[2] = {1u << 5, 1u << 13};
constexpr uint32_t kInvertBit[2] = {1u << 6, 1u << 14};
constexpr uint32_t kTimeoutBit[2] = {1u << 0, 1u << 8};
constexpr uint32_t kModeOneShot = 1;
constexpr uint32_t kModePeriodic = 2;
constexpr uint32_t kModeAlternate = 8;
}  // namespace

GpTimer::GpTimer(Scheduler& scheduler, Nvic& nvic, unsigned index)
    : scheduler_(scheduler), nvic_(nvic), index_(index) {}

bool GpTimer::enabled(Half half) const {
    return (ctl_ & kEnableBit[half]) != 0;
}

bool GpTimer::pwmMode(Half half) const {
    const uint32_t mode = halves_[half].mode;
    return (mode & kModeAlternate) != 0 && (mode & 3u) == kModePeriodic;
}

Cycles GpTimer::periodOf(Half half) const {
    const HalfState& h = halves_[half];
    if (!split()) {
        return Cycles{halves_[kA].load} + 1;
    }
    if (pwmMode(half)) {
        // In PWM mode the prescaler extends the 16-bit counter.
        return ((Cycles{h.prescale & 0xFFu} << 16) | (h.load & 0xFFFFu)) + 1;
    }
    return (Cycles{h.load & 0xFFFFu} + 1) * (Cycles{h.prescale & 0xFFu} + 1);
}

GpTimer::Pwm GpTimer::pwm(Half half) const {
    Pwm out;
    out.running = split() && enabled(half) && pwmMode(half);
    out.periodClocks = static_cast<uint32_t>(periodOf(half));
    out.pulseClocks = halves_[half].match & 0xFFFFu;
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
    const uint32_t countMode = h.mode & 3u;
    h.started = scheduler_.now();
    h.period = periodOf(half);
    if (pwmMode(half) || (countMode != kModeOneShot && countMode != kModePeriodic)) {
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
    if ((h.mode & 3u) == kModeOneShot) {
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
    nvic_.setLine(19 + 2 * index_, (masked & kTimeoutBit[kA]) != 0);
    nvic_.setLine(20 + 2 * index_, (masked & kTimeoutBit[kB]) != 0);
}

uint32_t GpTimer::counter(Half half) const {
    const HalfState& h = halves_[half];
    if (h.event == 0 || h.period == 0) {
        return h.load;
    }
    const Cycles elapsed = scheduler_.now() - h.started;
    const Cycles remaining = h.period - (elapsed % h.period);
    return static_cast<uint32_t>(remaining / (Cycles{h.prescale & 0xFFu} + 1));
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
        case 0x000:
            return cfg_;
        case 0x004:
            return halves_[kA].mode;
        case 0x008:
            return halves_[kB].mode;
        case 0x00C:
            return ctl_;
        case 0x018:
            return imr_;
        case 0x01C:
            return ris_;
        case 0x020:
            return ris_ & imr_;
        case 0x028:
            return halves_[kA].load;
        case 0x02C:
            return halves_[kB].load;
        case 0x030:
            return halves_[kA].match;
        case 0x034:
            return halves_[kB].match;
        case 0x038:
            return halves_[kA].prescale;
        case 0x03C:
            return halves_[kB].prescale;
        case 0x048:
            return counter(kA);
        case 0x04C:
            return counter(kB);
        default:
            return 0;
    }
}

void GpTimer::write(uint32_t offset, uint32_t value, unsigned) {
    // Split halves are 16 bits wide, their prescalers 8.
    const uint32_t half16 = split() ? value & 0xFFFFu : value;
    switch (offset) {
        case 0x000:
            cfg_ = value & 7u;
            break;
        case 0x004:
            halves_[kA].mode = value & 0xFFu;
            break;
        case 0x008:
            halves_[kB].mode = value & 0xFFu;
            break;
        case 0x00C: {
            const uint32_t previous = ctl_;
            ctl_ = value;
            controlChanged(previous);
            break;
        }
        case 0x018:
            imr_ = value;
            updateLines();
            break;
        case 0x024:
            ris_ &= ~value;
            updateLines();
            break;
        case 0x028:
            halves_[kA].load = half16;
            break;
        case 0x02C:
            halves_[kB].load = value & 0xFFFFu;
            break;
        case 0x030:
            halves_[kA].match = half16;
            break;
        case 0x034:
            halves_[kB].match = value & 0xFFFFu;
            break;
        case 0x038:
            halves_[kA].prescale = value & 0xFFu;
            break;
        case 0x03C:
            halves_[kB].prescale = value & 0xFFu;
            break;
        default:
            break;
    }
    for (auto& listener : listeners_) {
        listener();
    }
}

}  // namespace sim
