// Runs the host-compiled firmware's reset entry on a thread of its own and hands a baton back and
// forth with the harness (a test or the window loop), so that exactly one side runs at a time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "core.hpp"
#include "scheduler.hpp"

namespace sim {

class Runner {
  public:
    Runner() = default;
    // Ends the firmware thread wherever it waits (it unwinds from its last sim point) and joins it.
    ~Runner();
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    // entry runs on the new thread once the harness first hands over; bind is called on that
    // thread before it.
    void start(std::function<void()> bind, std::function<void()> entry);
    bool started() const { return started_; }
    // Asked at every simulated access: a thread-local pointer, not a thread-id comparison.
    bool onFirmwareThread() const { return firmwareRunner_ == this; }

    // Harness side: let the firmware run until the deadline or the condition (checked at the
    // firmware's sim points), whichever comes first.
    StopReason runUntil(Picoseconds deadline, std::function<bool()> condition);

    // Firmware side, at every sim point (the core keeps the deadline as a cycle count).
    bool shouldYield(bool deadlineReached);
    bool hasCondition() const { return static_cast<bool>(condition_); }
    // Changes with every hand-over to the firmware (the deadline may have moved).
    uint64_t turnNumber() const { return turnNumber_; }
    void yieldToHarness();
    // Firmware side: the firmware can never run again; hands the baton back for good.
    [[noreturn]] void park(const std::string& why);

    Picoseconds deadline() const { return deadline_; }
    bool halted() const { return halted_; }
    const std::string& haltReason() const { return haltReason_; }

  private:
    enum class Turn { Harness, Firmware };
    // Thrown on the firmware thread when the runner goes, to unwind it off its stack.
    struct Ending {};

    void handBack(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable turnChanged_;
    Turn turn_ = Turn::Harness;
    bool started_ = false;
    bool ending_ = false;
    std::thread firmware_;
    inline static thread_local const Runner* firmwareRunner_ = nullptr;
    Picoseconds deadline_ = 0;
    uint64_t turnNumber_ = 0;
    std::function<bool()> condition_;
    StopReason reason_ = StopReason::Deadline;
    bool halted_ = false;
    std::string haltReason_;
};

}  // namespace sim
