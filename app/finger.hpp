// Mouse clicks as a finger on the touch panel. A click on the host can be shorter than a frame,
// while the touch driver needs the finger down for a few sampling periods to see a press; so
// every touch lasts at least kMinimumPressMs of virtual time, and the events wait in order
// until their time has come (also while the panel is paused).
#pragma once

#include <deque>
#include <functional>

#include "touch_panel.hpp"

namespace app {

class Finger {
  public:
    // Long enough for the driver to count a press (about 30 ms) and deliver it, with margin.
    static constexpr double kMinimumPressMs = 60.0;
    // Likewise the driver must see the finger lifted before the next touch counts as new.
    static constexpr double kMinimumReleaseMs = 40.0;

    explicit Finger(sim::TouchPanel& touch) : touch_(touch) {}

    void down(int x, int y) { events_.push_back({Kind::Down, x, y}); }
    void move(int x, int y) { events_.push_back({Kind::Move, x, y}); }
    void up() { events_.push_back({Kind::Up, 0, 0}); }

    // Applies every event that is due at virtual time nowMs. Returns the virtual time of the
    // next event still waiting (a release or a new touch held back), or a negative value when
    // none waits.
    double apply(double nowMs);

    bool waiting() const { return !events_.empty(); }

    // Told of each event as it reaches the touch panel (pressed with the point, or lifted).
    using Applied = std::function<void(bool pressed, int x, int y)>;
    void onApplied(Applied applied) { applied_ = std::move(applied); }

  private:
    enum class Kind { Down, Move, Up };
    struct Event {
        Kind kind;
        int x;
        int y;
    };
    sim::TouchPanel& touch_;
    std::deque<Event> events_;
    double downAtMs_ = -1e300;
    double upAtMs_ = -1e300;
    Applied applied_;
};

}  // namespace app
