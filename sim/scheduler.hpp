// Virtual time of the simulated board: a cycle counter of the processor clock, the matching time
// in picoseconds (the clock may change frequency), and the queue of scheduled model events.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

namespace sim {

using Cycles = uint64_t;
using Picoseconds = uint64_t;
using EventId = uint64_t;

constexpr Picoseconds kPsPerMs = 1'000'000'000;
constexpr Picoseconds kPsPerUs = 1'000'000;

class Scheduler {
  public:
    explicit Scheduler(uint32_t clockHz);

    Cycles now() const { return now_; }
    Picoseconds nowPs() const;
    double nowMs() const { return static_cast<double>(nowPs()) / static_cast<double>(kPsPerMs); }
    uint32_t clockHz() const { return clockHz_; }

    // Later cycles count at the new rate; the time reached so far is kept.
    void setClockHz(uint32_t hz);

    // Cycles of the current clock that span the given time (rounded up).
    Cycles cyclesFor(Picoseconds ps) const;
    // First cycle at or after the given time, at the current clock.
    Cycles cycleAtOrAfter(Picoseconds ps) const;
    // Changes whenever the clock rate does (a cycle computed from a time is stale then).
    uint64_t rateGeneration() const { return rateGeneration_; }

    // A cycle its owner wants to look again at: pastCheckpoint() is true from it on. A clock
    // change resets it to 0 (a cycle computed from a time is stale then).
    void setCheckpoint(Cycles cycle) { checkpoint_ = cycle; }
    bool pastCheckpoint() const { return now_ >= checkpoint_; }

    EventId at(Cycles when, std::function<void()> action);
    EventId after(Cycles delay, std::function<void()> action) {
        return at(now_ + delay, std::move(action));
    }
    void cancel(EventId id);
    std::optional<Cycles> nextEvent() const;
    // The next event's cycle, or the largest cycle there is when none is scheduled.
    Cycles nextDue() const { return nextDue_; }

    // Moves time forward, running every event that falls due, each at its own cycle. Inline for
    // the common case of every access: nothing due.
    void advanceTo(Cycles target) {
        if (target < nextDue_) {
            if (target > now_) {
                now_ = target;
            }
            return;
        }
        runDue(target);
    }
    // The same for a step forward (never back), in a straight line when nothing falls due.
    void advance(Cycles n) {
        const Cycles target = now_ + n;
        if (target < nextDue_) [[likely]] {
            now_ = target;
            return;
        }
        runDue(target);
    }

  private:
    using Key = std::pair<Cycles, EventId>;

    void runDue(Cycles target);
    void updateNextDue() {
        nextDue_ = events_.empty() ? kNever : events_.begin()->first.first;
    }

    static constexpr Cycles kNever = ~Cycles{0};
    Cycles now_ = 0;
    uint32_t clockHz_;
    Cycles rateBaseCycles_ = 0;
    Picoseconds rateBasePs_ = 0;
    uint64_t rateGeneration_ = 0;
    EventId nextId_ = 1;
    std::map<Key, std::function<void()>> events_;
    Cycles nextDue_ = kNever;  // the first event's cycle, kNever with none
    Cycles checkpoint_ = 0;
    std::unordered_map<EventId, Cycles> whenById_;
};

}  // namespace sim
