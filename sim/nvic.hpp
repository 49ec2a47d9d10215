// The core's interrupt controller and the system control block registers the firmware uses.
#pragma once

#include <array>
#include <cstdint>

#include "device.hpp"

namespace sim {

constexpr uint32_t kExceptionSysTick = 15;
constexpr uint32_t kFirstPeripheralException = 16;
constexpr uint32_t kPeripheralInterrupts = 44;

// The interrupt controller's and system control block's registers, offsets from 0xE000E000,
// each followed by its fields.
namespace nvic {
enum : uint32_t {
    EN = 0x100,      // two words: set-enable
    DIS = 0x180,     // two words: clear-enable
    PEND = 0x200,    // two words: set-pending
    UNPEND = 0x280,  // two words: clear-pending
    ACTIVE = 0x300,  // two words
    PRI = 0x400,     // a priority byte per peripheral interrupt
    kPriorityWords = 16,
    CPUID = 0xD00,
    kCpuidCortexM3 = 0x412FC230,
    INT_CTRL = 0xD04,
    INT_CTRL_VEC_ACT = 0x1FFu,
    INT_CTRL_VEC_PEN_SHIFT = 12,
    INT_CTRL_ISR_PEND = 1u << 22,
    INT_CTRL_UNPEND_SYST = 1u << 25,
    INT_CTRL_PEND_SYST = 1u << 26,
    VTABLE = 0xD08,
    VTABLE_OFFSET = 0x3FFFFF80,
    APINT = 0xD0C,
    APINT_VECTKEY = 0x05FA0000,
    APINT_VECTKEY_READ = 0xFA050000,
    APINT_PRIGROUP = 0x700,
    SYS_HND_CTRL = 0xD24,
    SYS_HND_CTRL_ENABLES = 0x00070000,  // usage, bus and memory fault enables
};
}  // namespace nvic

class Nvic {
  public:
    // Peripheral interrupt n (0..43), as models drive their interrupt outputs.
    void setLine(uint32_t irq, bool level);
    void pendSysTick() {
        sysTickPending_ = true;
        ready_ = true;
    }

    // Lowest-numbered exception that is pending and enabled, or 0 if none (one priority level).
    uint32_t nextPending() const;
    void acknowledge(uint32_t exception);
    void complete(uint32_t exception);

    uint64_t enabled() const { return enabled_; }
    uint64_t pending() const { return pending_; }
    bool sysTickPending() const { return sysTickPending_; }
    // Something pending is enabled, or SysTick is pending: one test, asked after every access.
    bool anyReady() const { return ready_; }
    bool isEnabled(uint32_t irq) const { return (enabled_ >> irq) & 1u; }
    uint32_t active() const { return active_; }
    uint8_t priority(uint32_t irq) const { return priority_[irq]; }
    uint32_t vtor() const { return vtor_; }
    void setVtor(uint32_t value) { vtor_ = value; }

    // Register file of the system control space (except SysTick), offsets from 0xE000E000.
    uint32_t read(uint32_t offset);
    void write(uint32_t offset, uint32_t value);

  private:
    void updateReady() { ready_ = (pending_ & enabled_) != 0 || sysTickPending_; }

    bool ready_ = false;  // what anyReady() says, kept by every change of the three below
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
