// The core's interrupt controller and the system control block registers the firmware uses.
#pragma once

#include <array>
#include <cstdint>

#include "chip.hpp"
#include "device.hpp"

namespace sim {

constexpr uint32_t kExceptionSysTick = 15;
constexpr uint32_t kFirstPeripheralException = 16;
constexpr uint32_t kPeripheralInterrupts = chip::kPeripheralInterrupts;

// The interrupt controller's and system control block's registers, offsets from the system
// control space's base (chip::kSystemControlSpace), each followed by its fields.
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
    APINT_PRIGROUP_SHIFT = 8,
    SYS_PRI1 = 0xD18,  // system handler priorities: a byte per exception 4-15, from SYS_PRI1
    SYS_PRI3 = 0xD20,  // SysTick's in its top byte
    kSystemPriorityWords = 3,
    SYS_HND_CTRL = 0xD24,
    SYS_HND_CTRL_ENABLES = 0x00070000,  // usage, bus and memory fault enables
};
}  // namespace nvic

// The interrupt controller's state: what is pending, enabled and active, and the priorities
// (peripheral interrupts and the system handlers). Which exception the processor takes, by these
// priorities, is exception_rules.hpp's, the same for both processors.
class Nvic {
  public:
    // Peripheral interrupt n (0..43), as models drive their interrupt outputs.
    void setLine(uint32_t irq, bool level);
    void pendSysTick() {
        sysTickPending_ = true;
        changed();
    }

    // The processor enters an exception (its pending bit clears, it becomes the innermost active
    // one) and leaves the innermost.
    void acknowledge(uint32_t exception);
    void complete(uint32_t exception);

    uint64_t enabled() const { return enabled_; }
    uint64_t pending() const { return pending_; }
    bool sysTickPending() const { return sysTickPending_; }
    // Something pending is enabled, or SysTick is pending: one test, asked after every access.
    bool anyReady() const { return ready_; }
    bool isEnabled(uint32_t irq) const { return (enabled_ >> irq) & 1u; }
    // The innermost active exception, 0 in thread mode; and how many are active.
    uint32_t active() const { return depth_ == 0 ? 0 : activeStack_[depth_ - 1]; }
    uint32_t activeDepth() const { return depth_; }
    uint32_t activeAt(uint32_t level) const { return activeStack_[level]; }
    // The priority byte of an exception: a peripheral interrupt's from PRI, a system handler's
    // from SYS_PRI1-3; reset, NMI and hard fault are fixed above them all (-3, -2, -1).
    int priority(uint32_t exception) const;
    uint32_t priorityGroup() const { return (aircr_ & nvic::APINT_PRIGROUP) >> nvic::APINT_PRIGROUP_SHIFT; }
    uint32_t vtor() const { return vtor_; }
    void setVtor(uint32_t value) { vtor_ = value; }

    // Told of every change that may make an exception takeable (a line, a pend, an enable, a
    // priority), so that a processor that does not ask at every access can look at once.
    void onChange(void (*listener)(void*), void* context) {
        listener_ = listener;
        listenerContext_ = context;
    }

    // Register file of the system control space (except SysTick), offsets from its base.
    uint32_t read(uint32_t offset);
    void write(uint32_t offset, uint32_t value);

  private:
    static constexpr uint32_t kMaxActive = 64;
    void changed() {
        ready_ = (pending_ & enabled_) != 0 || sysTickPending_;
        if (listener_ != nullptr) {
            listener_(listenerContext_);
        }
    }
    uint32_t pendingVector() const;

    bool ready_ = false;  // what anyReady() says, kept by every change of the three below
    uint64_t enabled_ = 0;
    uint64_t pending_ = 0;
    uint64_t lines_ = 0;
    bool sysTickPending_ = false;
    std::array<uint32_t, kMaxActive> activeStack_{};
    uint32_t depth_ = 0;
    uint32_t vtor_ = 0;
    uint32_t shcsr_ = 0;
    uint32_t aircr_ = 0;
    std::array<uint8_t, 64> priority_{};
    std::array<uint8_t, 12> systemPriority_{};  // exceptions 4-15
    void (*listener_)(void*) = nullptr;
    void* listenerContext_ = nullptr;
};

}  // namespace sim
