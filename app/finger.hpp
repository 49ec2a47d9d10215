// Mouse clicks as a finger on the touch panel. A click on the host can be shorter than a frame,
// while the touch driver needs the finger down for a few sampling periods to see a press; so
// every touch lasts at least kMinimumPressMs of virtual time, and the events wait in order
// until their time has come (also while the panel is paused).
#pragma once

#include <deque>
#include <functional>

namespace app {

class Finger {
  public:
    // Long enough for the driver to count a press (about 30 ms) and deliver it, with margin.
    static constexpr double kMinimumPressMs = 60.0;
    // Likewise the driver must see the finger lifted before the next touch counts as new.
    static constexpr double kMinimumReleaseMs = 40.0;

    // What reaches the touch panel: pressed at the point, or lifted (the bench's touch and
    // release commands, so that they are recorded as any other).
    using Apply = std::function<void(bool pressed, int x, int y)>;
    explicit Finger(Apply apply) : apply_(std::move(apply)) {}

    void down(int x, int y) { events_.push_back({Kind::Down, x, y}); }
    void move(int x, int y) { events_.push_back({Kind::Move, x, y}); }
    void up() { events_.push_back({Kind::Up, 0, 0}); }

    // Applies every event that is due at virtual time nowMs. Returns the virtual time of the
    // next event still waiting (a release or a new touch held back), or a negative value when
    // none waits.
    double apply(double nowMs);

    bool waiting() const { return !events_.empty(); }

  private:
    enum class Kind { Down, Move, Up };
    struct Event {
        Kind kind;
        int x;
        int y;
    };
    Apply apply_;
    std::deque<Event> events_;
    double downAtMs_ = -1e300;
    double upAtMs_ = -1e300;
    int lastX_ = -1;  // the last event applied: where, and when
    int lastY_ = -1;
    double lastAtMs_ = -1e300;
};

}  // namespace app
