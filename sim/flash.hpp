// Flash memory: the 256 KB array, the per-2 KB read and program enables (uncommitted, so they
// last until reset) and the flash controller that programs and erases it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "chip.hpp"
#include "device.hpp"

namespace sim {

class FlashMemory {
  public:
    FlashMemory();

    const uint8_t* bytes() const { return bytes_.data(); }
    uint8_t* mutableBytes() { return bytes_.data(); }
    uint32_t word(uint32_t address) const;
    // Fills flash directly, as a programmer would before the board starts.
    void load(uint32_t address, const std::vector<uint8_t>& data);

    bool readable(uint32_t address) const;
    bool programmable(uint32_t address) const;

    // Protection registers FMPRE0-3 / FMPPE0-3 (bits can only be cleared until reset).
    uint32_t readEnable(uint32_t index) const { return readEnable_[index]; }
    uint32_t programEnable(uint32_t index) const { return programEnable_[index]; }
    void writeReadEnable(uint32_t index, uint32_t value) { readEnable_[index] &= value; }
    void writeProgramEnable(uint32_t index, uint32_t value) { programEnable_[index] &= value; }

    // Controller operations; false (and the access flag set) when protection refuses them.
    bool programWord(uint32_t address, uint32_t value);
    bool erasePage(uint32_t address);

    uint32_t programs() const { return programs_; }
    uint32_t refusals() const { return refusals_; }
    bool accessViolation() const { return accessViolation_; }
    void clearAccessViolation() { accessViolation_ = false; }

    // Words of the boot loader's vector table this board carries at the bottom of flash.
    static constexpr uint32_t kBootStackPointer = chip::kSram.base + chip::kSram.size;
    static constexpr uint32_t kBootResetEntry = 0x00000101;
    static constexpr uint32_t kBootUpdateEntry = 0x00000121;

  private:
    std::vector<uint8_t> bytes_;
    std::array<uint32_t, 4> readEnable_{};
    std::array<uint32_t, 4> programEnable_{};
    uint32_t programs_ = 0;
    uint32_t refusals_ = 0;
    bool accessViolation_ = false;
};

// The flash controller's registers, offsets from its base, each followed by its fields.
namespace flashctl {
enum : uint32_t {
    FMA = 0x000,
    FMD = 0x004,
    FMC = 0x008,
    FMC_WRITE = 1u << 0,
    FMC_ERASE = 1u << 1,
    FMC_MERASE = 1u << 2,
    FMC_KEY = 0xA4420000,
    FCRIS = 0x00C,  // FCRIS, FCIM and FCMISC share these bits
    INT_ACCESS = 1u << 0,
    FCIM = 0x010,
    FCIM_MASK = 3,
    FCMISC = 0x014,  // read: masked status; write: clear
};
inline constexpr Register kRegisters[] = {
    {FMA, "FMA"},  // address
    {FMD, "FMD"},  // data
    {FMC, "FMC"},  // command
    {FCRIS, "FCRIS", Access::ReadOnly},
    {FCIM, "FCIM"},
    {FCMISC, "FCMISC"},
};
}  // namespace flashctl

class FlashController : public Device {
  public:
    explicit FlashController(FlashMemory& flash) : flash_(flash) {}
    std::string name() const override { return "flash controller"; }
    RegisterTable registers() const override { return flashctl::kRegisters; }
    uint32_t read(uint32_t offset, unsigned size) override;
    void write(uint32_t offset, uint32_t value, unsigned size) override;

  private:
    FlashMemory& flash_;
    uint32_t address_ = 0;
    uint32_t data_ = 0;
    uint32_t interruptMask_ = 0;
};

// Flash as seen on the bus: readable words, no direct writes.
class FlashArray : public Device {
  public:
    explicit FlashArray(FlashMemory& flash) : flash_(flash) {}
    std::string name() const override { return "flash"; }
    uint32_t read(uint32_t offset, unsigned size) override;
    void write(uint32_t offset, uint32_t value, unsigned size) override;

    bool writeAttempted() const { return writeAttempted_; }

  private:
    FlashMemory& flash_;
    bool writeAttempted_ = false;
};

}  // namespace sim
