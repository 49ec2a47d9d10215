// The core's interrupt controller and the system control block registers the firmware uses.
#pragma once

#include <array>
#include <cstdint>

#include "device.hpp"

namespace sim {

constexpr uint32_t kExceptionSysTick = 15;
constexpr uint32_t kFirstPeripheralException = 16;
constexpr uint32_t kPeripheralInterrupts = 44;

class Nvic {
  public:
    // Peripheral interrupt n (0..43), as models drive their interrupt outputs.
    void setLine(uint32_t irq, bool level);
    void pendSysTick() { sysTickPending_ = true; }

    // Lowest-numbered exception that is pending and enabled, or 0 if none (one priority level).
    uint32_t nextPending() const;
    void acknowledge(uint32_t exception);
    void complete(uint32_t exception);

    uint64_t enabled() const { return enabled_; }
    uint64_t pending() const { return pending_; }
    bool sysTickPending() const { return sysTickPending_; }
    bool isEnabled(uint32_t irq) const { return (enabled_ >> irq) & 1u; }
    uint32_t active() const { return active_; }
    uint8_t priority(uint32_t irq) const { return priority_[irq]; }
    uint32_t vtor() const { return vtor_; }
    void setVtor(uint32_t value) { vtor_ = value; }

    // Register file of the system control space (except SysTick), offsets from 0xE000E000.
    uint32_t read(uint32_t offset);
    void write(uint32_t offset, uint32_t value);

  private:
    uint64_t enabled_ = 0;
    uint64_t pending_ = 0;
    uint64_t lines_ = 0;
    bool sysTickPending_ = false;
    uint32_t active_ = 0;
    uint32_t vtor_ = 0;
    uint32_t shcsr_ = 0;
    uint32_t aircr_ = 0;
    std::array<uint8_t, 64> priority_{};
};

}  // namespace sim
