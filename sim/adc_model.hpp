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

// The ADC's registers, offsets from its base, each followed by its fields.
namespace adc {
enum : uint32_t {
    ACTSS = 0x000,  // ACTSS, RIS, IM, ISC, OSTAT and PSSI: one bit per sequencer
    ACTSS_MASK = 0xF,
    RIS = 0x004,
    IM = 0x008,
    ISC = 0x00C,  // read: masked status; write: clear
    OSTAT = 0x010,
    EMUX = 0x014,  // four bits of trigger source per sequencer
    EMUX_PROCESSOR = 0x0,
    EMUX_TIMER = 0x5,
    EMUX_MASK = 0xFFFF,
    SSPRI = 0x020,
    SSPRI_MASK = 0x3333,
    SSPRI_RESET = 0x3210,
    PSSI = 0x028,
    SAC = 0x030,
    SAC_MASK = 7,
    // Each sequencer n has a block of these at SS_BLOCK + n * SS_STRIDE.
    SS_BLOCK = 0x040,
    SS_STRIDE = 0x20,
    kSequencers = 4,
    SSMUX = 0x00,
    SSMUX_MUX0 = 0xF,  // the first step's channel
    SSCTL = 0x04,
    SSCTL_END0 = 1u << 1,
    SSCTL_IE0 = 1u << 2,
    SSFIFO = 0x08,
    SSFSTAT = 0x0C,
    SSFSTAT_EMPTY = 1u << 8,
    SSFSTAT_FULL = 1u << 12,
};
inline constexpr Register kRegisters[] = {
    {ACTSS, "ACTSS"},
    {RIS, "RIS", Access::ReadOnly},
    {IM, "IM"},
    {ISC, "ISC"},
    {OSTAT, "OSTAT"},
    {EMUX, "EMUX"},
    {SSPRI, "SSPRI"},
    {PSSI, "PSSI", Access::WriteOnly},
    {SAC, "SAC"},
    {SS_BLOCK + SSMUX, "SSMUXn", Access::ReadWrite, kSequencers, SS_STRIDE},
    {SS_BLOCK + SSCTL, "SSCTLn", Access::ReadWrite, kSequencers, SS_STRIDE},
    {SS_BLOCK + SSFIFO, "SSFIFOn", Access::ReadOnly, kSequencers, SS_STRIDE},
    {SS_BLOCK + SSFSTAT, "SSFSTATn", Access::ReadOnly, kSequencers, SS_STRIDE},
};
}  // namespace adc

class AdcModel : public Device {
  public:
    // A conversion with 4x hardware averaging: four 2 us conversions.
    static constexpr Picoseconds kConversionTime = 8 * kPsPerUs;

    AdcModel(Scheduler& scheduler, Nvic& nvic) : scheduler_(scheduler), nvic_(nvic) {}

    std::string name() const override { return "ADC 0"; }
    RegisterTable registers() const override { return adc::kRegisters; }
    uint32_t read(uint32_t offset, unsigned size) override;
    uint32_t peek(uint32_t offset, unsigned size) override;  // the FIFO without emptying it
    void write(uint32_t offset, uint32_t value, unsigned size) override;

    // The analogue input of each channel, sampled when a conversion starts.
    void setInput(std::function<uint32_t(unsigned channel)> input) { input_ = std::move(input); }
    // A timer's trigger output.
    void timerTrigger();
    // Told true when a timer-triggered conversion starts and false when it ends (a trace's pulse).
    void setConversionListener(std::function<void(bool converting)> listener) {
        conversionListener_ = std::move(listener);
    }

    uint64_t conversions() const { return conversions_; }
    uint64_t overflows() const { return overflows_; }
    unsigned lastChannel() const { return lastChannel_; }

  private:
    static constexpr unsigned kSequencer = 3;
    bool sequencerEnabled() const { return (actss_ & (1u << kSequencer)) != 0; }
    uint32_t trigger() const { return (emux_ >> (4 * kSequencer)) & 0xFu; }
    void start(bool byTimer = false);
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
    uint32_t sspri_ = adc::SSPRI_RESET;
    uint32_t sac_ = 0;
    std::array<uint32_t, 4> ssmux_{};
    std::array<uint32_t, 4> ssctl_{};
    bool fifoFull_ = false;
    uint32_t fifo_ = 0;
    bool converting_ = false;
    bool convertingByTimer_ = false;
    std::function<void(bool)> conversionListener_;
    uint64_t conversions_ = 0;
    uint64_t overflows_ = 0;
    unsigned lastChannel_ = 0;
};

}  // namespace sim
