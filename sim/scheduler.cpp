#include "scheduler.hpp"

#include <algorithm>

namespace sim {

namespace {
constexpr unsigned __int128 kPsPerSecond = 1'000'000'000'000ULL;
}

Scheduler::Scheduler(uint32_t clockHz) : clockHz_(clockHz) {}

Picoseconds Scheduler::nowPs() const {
    const unsigned __int128 elapsed = now_ - rateBaseCycles_;
    return rateBasePs_ + static_cast<Picoseconds>(elapsed * kPsPerSecond / clockHz_);
}

void Scheduler::setClockHz(uint32_t hz) {
    if (hz == 0 || hz == clockHz_) {
        return;
    }
    rateBasePs_ = nowPs();
    rateBaseCycles_ = now_;
    clockHz_ = hz;
    ++rateGeneration_;
    checkpoint_ = 0;
}

Cycles Scheduler::cyclesFor(Picoseconds ps) const {
    const unsigned __int128 scaled = static_cast<unsigned __int128>(ps) * clockHz_;
    return static_cast<Cycles>((scaled + kPsPerSecond - 1) / kPsPerSecond);
}

Cycles Scheduler::cycleAtOrAfter(Picoseconds ps) const {
    // The first cycle c of the current rate with nowPs() at c >= ps, exactly: nowPs() rounds
    // down, so c - base >= (ps - basePs) * hz / 10^12 rounded up.
    if (ps <= rateBasePs_) {
        return std::max(now_, rateBaseCycles_);
    }
    const unsigned __int128 scaled = static_cast<unsigned __int128>(ps - rateBasePs_) * clockHz_;
    const auto first = rateBaseCycles_ + static_cast<Cycles>((scaled + kPsPerSecond - 1) / kPsPerSecond);
    return std::max(now_, first);
}

EventId Scheduler::at(Cycles when, std::function<void()> action) {
    if (when < now_) {
        when = now_;
    }
    const EventId id = nextId_++;
    events_.emplace(Key{when, id}, std::move(action));
    whenById_.emplace(id, when);
    nextDue_ = std::min(nextDue_, when);
    return id;
}

void Scheduler::cancel(EventId id) {
    const auto found = whenById_.find(id);
    if (found == whenById_.end()) {
        return;
    }
    events_.erase(Key{found->second, id});
    whenById_.erase(found);
    updateNextDue();
}

std::optional<Cycles> Scheduler::nextEvent() const {
    if (events_.empty()) {
        return std::nullopt;
    }
    return events_.begin()->first.first;
}

void Scheduler::runDue(Cycles target) {
    while (!events_.empty() && events_.begin()->first.first <= target) {
        auto first = events_.begin();
        const Cycles when = first->first.first;
        const EventId id = first->first.second;
        std::function<void()> action = std::move(first->second);
        events_.erase(first);
        whenById_.erase(id);
        updateNextDue();
        if (when > now_) {
            now_ = when;
        }
        action();
    }
    if (target > now_) {
        now_ = target;
    }
}

}  // namespace sim
