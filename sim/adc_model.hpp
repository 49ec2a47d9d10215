// ADC 0: the sample sequencers' registers, with conversions on sequencer 3 (one step, a one-deep
// result FIFO) started by a timer or the processor. Results are 10 bits, 0-1023.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "device.hpp"
#include "nvic.hpp"
#include "scheduler.hpp"

namespace sim {

class AdcModel : public Device {
  public:
    // A conversion with 4x hardware averaging: four 2 us conversions.
    static constexpr Picoseconds kConversionTime = 8 * kPsPerUs;

    AdcModel(Scheduler& scheduler, Nvic& nvic) : scheduler_(scheduler), nvic_(nvic) {}

    std::string name() const override { return "ADC 0"; }
    uint32_t read(uint32_t offset, unsigned size) override;
    void write(uint32_t offset, uint32_t value, unsigned size) override;

    // The analogue input of each channel, sampled when a conversion starts.
    void setInput(std::function<uint32_t(unsigned channel)> input) { input_ = std::move(input); }
    // A timer's trigger output.
    void timerTrigger();

    uint64_t conversions() const { return conversions_; }
    uint64_t overflows() const { return overflows_; }
    unsigned lastChannel() const { return lastChannel_; }

  private:
    static constexpr unsigned kSequencer = 3;
    bool sequencerEnabled() const { return (actss_ & (1u << kSequencer)) != 0; }
    uint32_t trigger() const { return (emux_ >> (4 * kSequencer)) & 0xFu; }
    void start();
    void complete(uint32_t value);
    void updateLine();

    Scheduler& scheduler_;
    Nvic& nvic_;
    std::function<uint32_t(unsigned)> input_;
    uint32_t actss_ = 0;
    uint32_t ris_ = 0;
    uint32_t im_ = 0;
    uint32_t ostat_ = 0;
    uint32_t emux_ = 0;
    uint32_t sspri_ = 0x3210;
    uint32_t sac_ = 0;
    std::array<uint32_t, 4> ssmux_{};
    std::array<uint32_t, 4> ssctl_{};
    bool fifoFull_ = false;
    uint32_t fifo_ = 0;
    bool converting_ = false;
    uint64_t conversions_ = 0;
    uint64_t overflows_ = 0;
    unsigned lastChannel_ = 0;
};

}  // namespace sim
