#include "speaker.hpp"

namespace sim {

namespace {
constexpr uint8_t kSpeakerPin = 0x80;
}

Speaker::Speaker(Scheduler& scheduler, GpTimer& timer2, GpioPort& c)
    : scheduler_(scheduler), timer_(timer2), c_(c) {
    timer_.addListener([this] { update(); });
    c_.addListener([this](const GpioPort&) { update(); });
}

std::vector<Speaker::Tone> Speaker::audibleTones() const {
    std::vector<Tone> out;
    for (const Tone& tone : tones_) {
        if (tone.hz < kAudibleHz) {
            out.push_back(tone);
        }
    }
    return out;
}

void Speaker::update() {
    const GpTimer::Pwm pwm = timer_.pwm(GpTimer::kA);
    // The pin carries the PWM only while it is given to the timer.
    const bool playing = pwm.running && (c_.alternate() & kSpeakerPin) != 0;
    const double now = scheduler_.nowMs();
    if (sounding()) {
        const Tone& last = tones_.back();
        if (playing && last.periodClocks == pwm.periodClocks &&
            last.pulseClocks == pwm.pulseClocks) {
            return;
        }
        tones_.back().endMs = now;
    }
    if (playing) {
        const double hz = static_cast<double>(scheduler_.clockHz()) / pwm.periodClocks;
        tones_.push_back(Tone{hz, pwm.periodClocks, pwm.pulseClocks, now, kOpen});
    }
}

}  // namespace sim
