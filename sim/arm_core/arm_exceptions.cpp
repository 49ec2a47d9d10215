// The emulated core's exception entry and return, and its faults. Which exception is taken, and
// when, is exception_rules.hpp's; this is what the processor does with it.
#include <cstring>

#include "arm_core.hpp"
#include "arm_core_memory.hpp"
#include "exception_rules.hpp"
#include "thumb_timing.hpp"

namespace sim::arm {

namespace {
const int kFrameRegisters[6] = {UC_ARM_REG_R0, UC_ARM_REG_R1,  UC_ARM_REG_R2,
                                UC_ARM_REG_R3, UC_ARM_REG_R12, UC_ARM_REG_LR};
}  // namespace

void ArmCore::enterException(uint32_t exception, uint32_t returnAddress) {
    Nvic& nvic = board_.nvic();
    uint32_t frame[8];
    for (int i = 0; i < 6; ++i) {
        frame[i] = reg(kFrameRegisters[i]);
    }
    frame[6] = returnAddress;
    const uint32_t sp = reg(UC_ARM_REG_SP);
    frame[7] = (reg(UC_ARM_REG_XPSR) & ~(kIpsrMask | kXpsrAligned)) | nvic.active() |
               ((sp & 4u) != 0 ? kXpsrAligned : 0);
    const uint32_t base = (sp - 32) & ~4u;
    for (uint32_t i = 0; i < 8 && !halted_; ++i) {
        putWord(base + 4 * i, frame[i]);
    }
    const uint32_t handler = halted_ ? 0 : word(nvic.vtor() + 4 * exception);
    if (halted_) {
        return;
    }
    if ((handler & 1u) == 0) {
        fault(handler, "exception " + std::to_string(exception) + ": vector " + Hex(handler) +
                           " at VTOR " + Hex(nvic.vtor()) + " is not Thumb code");
        return;
    }
    setReg(UC_ARM_REG_SP, base);
    setReg(UC_ARM_REG_LR, nvic.activeDepth() == 0 ? kReturnToThread : kReturnToHandler);
    // IPSR stays 0 in the emulator, so that a branch to EXC_RETURN is a plain branch to us.
    setReg(UC_ARM_REG_XPSR, kXpsrThumb);
    nvic.acknowledge(exception);
    ++taken_.at(exception);
    ++entries_;
    if (exceptionListener_) {
        exceptionListener_(ExceptionEntry{exception, returnAddress, instructions_});
    }
    ++sideEffects_;
    blockStart_ += CycleTable::kExceptionEntry;
    cycles_ += CycleTable::kExceptionEntry;
    continueClearingMonitor(handler);
}

void ArmCore::returnFromException(uint32_t excReturn) {
    Nvic& nvic = board_.nvic();
    const bool toThread = excReturn == kReturnToThread;
    if (nvic.activeDepth() == 0 ||
        (excReturn != kReturnToThread && excReturn != kReturnToHandler) ||
        toThread != (nvic.activeDepth() == 1)) {
        fault(excReturn, "EXC_RETURN " + Hex(excReturn) + " does not match the active exceptions");
        return;
    }
    const uint32_t sp = reg(UC_ARM_REG_SP);
    uint32_t frame[8];
    for (uint32_t i = 0; i < 8 && !halted_; ++i) {
        frame[i] = word(sp + 4 * i);
    }
    if (halted_) {
        return;
    }
    for (int i = 0; i < 6; ++i) {
        setReg(kFrameRegisters[i], frame[i]);
    }
    setReg(UC_ARM_REG_XPSR, frame[7] & ~(kIpsrMask | kXpsrAligned));
    setReg(UC_ARM_REG_SP, sp + 32 + ((frame[7] & kXpsrAligned) != 0 ? 4 : 0));
    nvic.complete(nvic.active());
    ++sideEffects_;
    blockStart_ += CycleTable::kExceptionReturn;
    cycles_ += CycleTable::kExceptionReturn;
    // What became takeable meanwhile is entered at once, in front of the interrupted code.
    if (const uint32_t next = TakeableException(nvic, primask())) {
        enterException(next, frame[6] & ~1u);
        return;
    }
    continueClearingMonitor(frame[6] & ~1u);
}

void ArmCore::continueClearingMonitor(uint32_t target) {
    const uint32_t sp = reg(UC_ARM_REG_SP) - 4;
    putWord(sp, target | 1u);
    if (halted_) {
        return;
    }
    setReg(UC_ARM_REG_SP, sp);
    setReg(UC_ARM_REG_PC, kMonitorStub | 1u);
}

void ArmCore::fault(uint32_t address, const std::string& what) {
    const uint32_t at = pc();
    std::string where = " (pc " + Hex(at);
    const std::string function = image_.functionAt(at);
    if (!function.empty()) {
        where += " in " + function;
    }
    board_.recordFault(address, what + where + ")");
    halt("hard fault: " + what + where + ")");
}

void ArmCore::busFault(const std::string& what) {
    const uint32_t at = pc();
    const std::string function = image_.functionAt(at);
    halt("hard fault: " + what + " (pc " + Hex(at) + (function.empty() ? "" : " in " + function) +
         ")");
}

void ArmCore::halt(const std::string& why) {
    if (!halted_) {
        halted_ = true;
        haltReason_ = why;
    }
    uc_emu_stop(uc_);
}

}  // namespace sim::arm
