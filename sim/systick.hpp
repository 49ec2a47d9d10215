// The core's 24-bit SysTick down-counter.
#pragma once

#include <cstdint>
#include <deque>

#include "scheduler.hpp"

namespace sim {

class Nvic;

// SysTick's registers, offsets from its first one (0xE000E010), each followed by its fields.
namespace systick {
enum : uint32_t {
    CTRL = 0x0,
    CTRL_ENABLE = 1u << 0,
    CTRL_INTEN = 1u << 1,
    CTRL_CLK_SRC = 1u << 2,  // the processor clock; else the clock divided by four
    CTRL_COUNT = 1u << 16,
    RELOAD = 0x4,
    RELOAD_MASK = 0x00FFFFFF,
    CURRENT = 0x8,
    CALIB = 0xC,  // reads 0: no reference clock
};
}  // namespace systick

class SysTick {
  public:
    SysTick(Scheduler& scheduler, Nvic& nvic) : scheduler_(scheduler), nvic_(nvic) {}

    uint32_t read(uint32_t offset);
    uint32_t peek(uint32_t offset) const;  // a read that leaves COUNTFLAG as it is
    void write(uint32_t offset, uint32_t value);

    bool enabled() const { return (ctrl_ & systick::CTRL_ENABLE) != 0; }
    bool interruptEnabled() const { return (ctrl_ & systick::CTRL_INTEN) != 0; }
    uint32_t reload() const { return reload_; }
    uint64_t wraps() const { return wraps_; }
    // Cycles at which the counter reached zero, the most recent last (bounded history).
    const std::deque<Cycles>& wrapCycles() const { return wrapCycles_; }

  private:
    uint32_t divisor() const { return (ctrl_ & systick::CTRL_CLK_SRC) != 0 ? 1 : 4; }
    uint32_t currentValue() const;
    void start(uint32_t fromValue);
    void stop();
    void onZero();

    Scheduler& scheduler_;
    Nvic& nvic_;
    uint32_t ctrl_ = 0;
    uint32_t reload_ = 0;
    uint32_t frozen_ = 0;  // counter value while disabled
    bool countFlag_ = false;
    Cycles nextZero_ = 0;
    EventId event_ = 0;
    uint64_t wraps_ = 0;
    std::deque<Cycles> wrapCycles_;
};

}  // namespace sim
