// The speaker on port C pin 7: a log of the tones that timer 2 half A's PWM plays while the pin
// is given to the timer.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "device.hpp"
#include "gpio.hpp"
#include "scheduler.hpp"
#include "timer_model.hpp"

namespace sim {

class Speaker : public Part {
  public:
    struct Tone {
        double hz;              // clock / period
        uint32_t periodClocks;  // PWM period
        uint32_t pulseClocks;   // pulse width (the volume)
        double startMs;
        double endMs;  // infinity while it still sounds
        double durationMs() const { return endMs - startMs; }
    };
    static constexpr double kAudibleHz = 20000.0;

    Speaker(Scheduler& scheduler, GpTimer& timer2, GpioPort& c);

    const std::vector<Tone>& tones() const { return tones_; }
    // Only the tones a listener hears (the generator idles above hearing).
    std::vector<Tone> audibleTones() const;
    bool sounding() const { return !tones_.empty() && tones_.back().endMs == kOpen; }

  private:
    static constexpr double kOpen = std::numeric_limits<double>::infinity();
    void update();

    Scheduler& scheduler_;
    GpTimer& timer_;
    GpioPort& c_;
    std::vector<Tone> tones_;
};

}  // namespace sim
