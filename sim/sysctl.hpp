// System control: the clock tree computed from RCC as the hardware would, PLL lock, the
// peripheral-present and clock-gate bits, and the flash protection and timing registers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "chip.hpp"
#include "device.hpp"
#include "scheduler.hpp"

namespace sim {

class FlashMemory;

// System control's registers, offsets from its base, each followed by its fields.
namespace sysctl {
enum : uint32_t {
    DID0 = 0x000,
    DID1 = 0x004,
    DC0 = 0x008,
    DC1 = 0x010,
    DC1_ADC = 1u << 16,
    DC2 = 0x014,
    DC2_UART1 = 1u << 1,
    DC3 = 0x018,
    DC4 = 0x01C,
    RIS = 0x050,  // RIS, IMC and MISC share these bits
    INT_PLLL = 1u << 6,
    IMC = 0x054,
    MISC = 0x058,  // read: masked status; write: clear
    RCC = 0x060,
    RCC_MOSCDIS = 1u << 0,
    RCC_OSCSRC_SHIFT = 4,
    RCC_XTAL_SHIFT = 6,
    RCC_BYPASS = 1u << 11,
    RCC_PWRDN = 1u << 13,
    RCC_USESYSDIV = 1u << 22,
    RCC_SYSDIV_SHIFT = 23,
    RCC2 = 0x070,
    RCC2_USERCC2 = 1u << 31,  // not modelled: reads back as 0
    RCGC0 = 0x100,            // RCGC0-2, SCGC0-2, DCGC0-2: three words each
    SCGC0 = 0x110,
    DCGC0 = 0x120,
    kGateWords = 3,
    FMPRE = 0x130,  // alias of FMPRE0
    FMPPE = 0x134,  // alias of FMPPE0
    USECRL = 0x140,
    USECRL_MASK = 0xFF,
    FMPRE0 = 0x200,  // four words
    FMPPE0 = 0x400,  // four words
    kProtectionWords = 4,
};
inline constexpr Register kRegisters[] = {
    {DID0, "DID0", Access::ReadOnly},
    {DID1, "DID1", Access::ReadOnly},
    {DC0, "DC0", Access::ReadOnly},
    {DC1, "DC1", Access::ReadOnly},
    {DC2, "DC2", Access::ReadOnly},
    {DC3, "DC3", Access::ReadOnly},
    {DC4, "DC4", Access::ReadOnly},
    {RIS, "RIS", Access::ReadOnly},
    {IMC, "IMC"},
    {MISC, "MISC"},
    {RCC, "RCC"},
    {RCC2, "RCC2"},
    {RCGC0, "RCGCn", Access::ReadWrite, kGateWords},
    {SCGC0, "SCGCn", Access::ReadWrite, kGateWords},
    {DCGC0, "DCGCn", Access::ReadWrite, kGateWords},
    {FMPRE, "FMPRE"},
    {FMPPE, "FMPPE"},
    {USECRL, "USECRL"},
    {FMPRE0, "FMPREn", Access::ReadWrite, kProtectionWords},
    {FMPPE0, "FMPPEn", Access::ReadWrite, kProtectionWords},
};
}  // namespace sysctl

struct SysCtlConfig {
    uint32_t crystalHz = chip::kBoardCrystalHz;
    bool uart1Present = true;
    bool adc0Present = true;
};

class SysCtl : public Device {
  public:
    static constexpr uint32_t kRccReset = 0x078E3AD1;
    static constexpr uint32_t kMaxClockHz = chip::kMaxClockHz;
    static constexpr Picoseconds kPllLockTime = 500 * kPsPerUs;

    SysCtl(Scheduler& scheduler, FlashMemory& flash, const SysCtlConfig& config);
    RegisterTable registers() const override { return sysctl::kRegisters; }

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
    // The run-mode gate word itself, for the bus decoder to test without a call per access.
    const uint32_t* runGate(uint32_t gateRegister) const { return &runGates_.at(gateRegister); }

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
