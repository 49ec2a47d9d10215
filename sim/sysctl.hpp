// System control: the clock tree computed from RCC as the hardware would, PLL lock, the
// peripheral-present and clock-gate bits, and the flash protection and timing registers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "device.hpp"
#include "scheduler.hpp"

namespace sim {

class FlashMemory;

struct SysCtlConfig {
    uint32_t crystalHz = 8'000'000;  // the crystal fitted on the board
    bool uart1Present = true;
    bool adc0Present = true;
};

class SysCtl : public Device {
  public:
    static constexpr uint32_t kRccReset = 0x078E3AD1;
    static constexpr uint32_t kMaxClockHz = 50'000'000;
    static constexpr Picoseconds kPllLockTime = 500 * kPsPerUs;

    SysCtl(Scheduler& scheduler, FlashMemory& flash, const SysCtlConfig& config);

    std::string name() const override { return "system control"; }
    uint32_t read(uint32_t offset, unsigned size) override;
    void write(uint32_t offset, uint32_t value, unsigned size) override;

    uint32_t clockHz() const { return scheduler_.clockHz(); }
    uint32_t rcc() const { return rcc_; }
    bool pllLocked() const { return pllLocked_; }
    uint32_t flashUsec() const { return usecrl_; }

    // Clock gate: register index 0..2 (RCGC0..2) and bit.
    bool clockEnabled(uint32_t gateRegister, uint32_t bit) const {
        return ((runGates_[gateRegister] >> bit) & 1u) != 0;
    }

    // The clock an RCC value gives on this board; 0 for a source that does not run.
    uint32_t clockFromRcc(uint32_t rcc, std::string* problem) const;

  private:
    void applyRcc(uint32_t value);

    Scheduler& scheduler_;
    FlashMemory& flash_;
    SysCtlConfig config_;
    uint32_t rcc_ = kRccReset;
    uint32_t rcc2_ = 0x07802810;
    bool pllLocked_ = false;
    bool pllLockFlag_ = false;
    EventId pllLockEvent_ = 0;
    uint32_t interruptMask_ = 0;
    std::array<uint32_t, 3> runGates_{};
    std::array<uint32_t, 3> sleepGates_{};
    std::array<uint32_t, 3> deepSleepGates_{};
    uint32_t usecrl_ = 0x31;
};

}  // namespace sim
