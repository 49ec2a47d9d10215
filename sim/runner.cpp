#include "runner.hpp"

namespace sim {

Runner::~Runner() {
    if (!started_) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
        turn_ = Turn::Firmware;
    }
    turnChanged_.notify_all();
    firmware_.join();
}

void Runner::start(std::function<void()> bind, std::function<void()> entry) {
    started_ = true;
    firmware_ = std::thread([this, bind = std::move(bind), entry = std::move(entry)] {
        firmwareRunner_ = this;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            turnChanged_.wait(lock, [this] { return turn_ == Turn::Firmware; });
            if (ending_) {
                return;
            }
        }
        bind();
        try {
            entry();
            park("the firmware's reset entry returned");
        } catch (const Ending&) {
            // The runner is going: the firmware's frames are off the stack, the thread ends.
        }
    });
}

StopReason Runner::runUntil(Picoseconds deadline, std::function<bool()> condition) {
    if (halted_) {
        return StopReason::Halted;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    deadline_ = deadline;
    ++turnNumber_;
    condition_ = std::move(condition);
    turn_ = Turn::Firmware;
    turnChanged_.notify_all();
    turnChanged_.wait(lock, [this] { return turn_ == Turn::Harness; });
    condition_ = nullptr;
    return reason_;
}

bool Runner::shouldYield(bool deadlineReached) {
    if (deadlineReached) {
        reason_ = StopReason::Deadline;
        return true;
    }
    if (condition_ && condition_()) {
        reason_ = StopReason::Condition;
        return true;
    }
    return false;
}

void Runner::handBack(std::unique_lock<std::mutex>& lock) {
    turn_ = Turn::Harness;
    turnChanged_.notify_all();
    turnChanged_.wait(lock, [this] { return turn_ == Turn::Firmware; });
    if (ending_) {
        lock.unlock();
        throw Ending{};
    }
}

void Runner::yieldToHarness() {
    std::unique_lock<std::mutex> lock(mutex_);
    handBack(lock);
}

void Runner::park(const std::string& why) {
    std::unique_lock<std::mutex> lock(mutex_);
    halted_ = true;
    haltReason_ = why;
    reason_ = StopReason::Halted;
    turn_ = Turn::Harness;
    turnChanged_.notify_all();
    turnChanged_.wait(lock, [this] { return ending_; });
    lock.unlock();
    throw Ending{};
}

}  // namespace sim
