#include "arm_core.hpp"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstring>

#include "arm_core_memory.hpp"
#include "exception_rules.hpp"

namespace sim::arm {

namespace {

constexpr uint32_t kNoEnd = 0xFFFFFFFF;  // odd, so never a Thumb instruction address
constexpr uint32_t kWfi = 0xBF30;

}  // namespace

ArmCore::ArmCore(Board& board, FirmwareImage image)
    : board_(board),
      image_(std::move(image)),
      sram_(chip::kSram.size, 0),
      accessCost_(board.config().accessCost) {}

ArmCore::~ArmCore() {
    if (board_.core() == this) {
        board_.fitCore(nullptr);
    }
    if (uc_ != nullptr) {
        uc_close(uc_);
    }
}

bool ArmCore::primask() const {
    return (reg(UC_ARM_REG_PRIMASK) & 1u) != 0;
}

uint32_t ArmCore::reg(int id) const {
    uint32_t value = 0;
    uc_reg_read(uc_, id, &value);
    return value;
}

void ArmCore::setReg(int id, uint32_t value) {
    uc_reg_write(uc_, id, &value);
}

uint32_t ArmCore::pc() const {
    return reg(UC_ARM_REG_PC) & ~1u;
}

uint32_t ArmCore::word(uint32_t address) {
    uint32_t value = 0;
    if (uc_mem_read(uc_, address, &value, 4) != UC_ERR_OK) {
        fault(address, "load from " + Hex(address) + ": nothing is mapped there");
    }
    return value;
}

void ArmCore::putWord(uint32_t address, uint32_t value) {
    if (!chip::kSram.contains(address, 4)) {
        fault(address, "exception frame at " + Hex(address) + " is outside SRAM");
    }
    std::memcpy(sram_.data() + (address - chip::kSram.base), &value, 4);
}

bool ArmCore::read(uint32_t address, void* out, uint32_t size) const {
    return uc_mem_read(uc_, address, out, size) == UC_ERR_OK;
}

std::optional<int32_t> ArmCore::readSymbolWord(const std::string& name, uint32_t offset) const {
    const std::optional<Symbol> symbol = image_.symbol(name);
    int32_t value = 0;
    if (!symbol || !read(symbol->address + offset, &value, 4)) {
        return std::nullopt;
    }
    return value;
}

void ArmCore::resetCore() {
    // With the boot loader in the image the core starts where the processor does; with the
    // firmware alone, where the boot loader hands over: VTOR at the image, its stack and entry.
    const uint32_t table = bootCodeLoaded_ ? chip::kFlash.base : chip::kImageBase;
    board_.nvic().setVtor(table);
    setReg(UC_ARM_REG_SP, word(table));
    setReg(UC_ARM_REG_PC, word(table + 4) | 1u);
    blockStart_ = board_.scheduler().now();
}

void ArmCore::afterNextExclusiveLoad(std::function<void()> fn) {
    afterExclusive_ = std::move(fn);
    previousInstruction_ = 0;
    checkNextBoundary();
}

StopReason ArmCore::runUntil(Picoseconds deadline, const std::function<bool()>& condition) {
    if (halted_) {
        return StopReason::Halted;
    }
    if (!started_) {
        started_ = true;
        resetCore();
    }
    deadlinePs_ = deadline;
    deadlineRate_ = ~0ull;
    condition_ = condition ? &condition : nullptr;
    stop_ = Stop::None;
    resumeInstructions_ = instructions_;
    resumeEntries_ = entries_;
    refreshDue();
    while (!halted_ && stop_ == Stop::None) {
        const uint32_t at = pc();
        // Where the last turn stopped, or where WFI woke: look before going on.
        if (atBoundary(at)) {
            continue;
        }
        if (condition_ != nullptr || afterExclusive_) {
            checkNextBoundary();  // asked at every instruction boundary
        }
        const uc_err err = uc_emu_start(uc_, at | 1u, kNoEnd, 0, 0);
        if (halted_) {
            break;
        }
        if (stop_ != Stop::None) {
            // A stop asked from the block hook leaves the emulator's PC where the previous
            // block ended: the turn resumes at the boundary it stopped in front of.
            setReg(UC_ARM_REG_PC, stoppedAt_ | 1u);
            break;
        }
        if (err != UC_ERR_OK) {
            fault(pc(), std::string("the emulator stopped: ") + uc_strerror(err));
            break;
        }
        sleepUntilInterrupt();  // it stopped of its own accord: WFI
    }
    condition_ = nullptr;
    if (halted_) {
        return StopReason::Halted;
    }
    switch (stop_) {
        case Stop::Deadline:
            return StopReason::Deadline;
        case Stop::Debug:
            return StopReason::Debug;
        default:
            return StopReason::Condition;
    }
}

void ArmCore::sleepUntilInterrupt() {
    // The core executed WFI. Sleep until an interrupt is pending (PRIMASK does not keep the core
    // asleep), letting virtual time run to the next event.
    const uint32_t at = pc();
    uint16_t op = 0;
    if (read(at, &op, 2) && op == kWfi) {
        setReg(UC_ARM_REG_PC, (at + 2) | 1u);
    }
    finishBlock(pc());
    Scheduler& scheduler = board_.scheduler();
    for (;;) {
        flush(blockStart_);
        const Nvic& nvic = board_.nvic();
        if (nvic.sysTickPending() || (nvic.pending() & nvic.enabled()) != 0) {
            return;
        }
        std::optional<Cycles> until = scheduler.nextEvent();
        until = until ? std::min(*until, deadline_) : deadline_;
        if (*until == ~Cycles{0}) {
            fault(at, "WFI with no interrupt that could ever wake the core");
            return;
        }
        if (blockStart_ >= deadline_) {
            return;  // the boundary check stops the turn
        }
        blockStart_ = std::max(*until, blockStart_ + 1);
    }
}

void ArmCore::cutAt(uint32_t address, Cycles now) {
    if (block_ == nullptr) {
        return;
    }
    const size_t index = indexOf(address);
    instructions_ += index;
    cycles_ += block_->before[index];
    block_->partialInstructions += index;
    block_->partialCycles += block_->before[index];
    blockStart_ = now;
    block_ = nullptr;
}

void ArmCore::stopAt(Stop why, uint32_t address, Cycles now) {
    stop_ = why;
    stoppedAt_ = address;
    cutAt(address, now);
    uc_emu_stop(uc_);
}

bool ArmCore::atBoundary(uint32_t address) {
    const Cycles now = block_ != nullptr ? startOf(indexOf(address)) : blockStart_;
    flush(now);
    if (halted_) {
        cutAt(address, now);
        return true;
    }
    if (debugEveryBoundary_ && debugStopAt(address)) {
        stopAt(Stop::Debug, address, now);
        return true;
    }
    if (now >= deadline_ || (condition_ != nullptr && (*condition_)())) {
        stopAt(now >= deadline_ ? Stop::Deadline : Stop::Condition, address, now);
        return true;
    }
    if (const uint32_t exception = TakeableException(board_.nvic(), primask())) {
        cutAt(address, now);
        enterException(exception, address);
        return true;
    }
    return false;
}

void ArmCore::BlockHook(uc_struct*, uint64_t address, uint32_t size, void* self) {
    static_cast<ArmCore*>(self)->onBlock(static_cast<uint32_t>(address), size);
}

void ArmCore::onBlock(uint32_t address, uint32_t size) {
    if (address >= kStubPage && address < kStubPage + 0x1000) {
        return;  // the monitor-clearing stub is the core's own, not the image's
    }
    finishBlock(address);
    if (address < chip::kImageBase && !bootCodeLoaded_) {
        const Nvic& nvic = board_.nvic();
        bootLoaderCall_ = BootLoaderCall{blockStart_, board_.scheduler().nowPs(), address | 1u,
                                         nvic.enabled(), board_.systick().interruptEnabled(),
                                         primask()};
        halt("entered the boot loader at " + Hex(address | 1u) +
             " (the boot loader is not in this image)");
        return;
    }
    runAfterExclusive(address);
    // Most block starts: nothing due, nothing pending, nothing asked.
    const bool quiet = blockStart_ < due_ && !board_.nvic().anyReady() && condition_ == nullptr &&
                       !debugEveryBoundary_;
    if (!quiet && atBoundary(address)) {
        return;
    }
    if (probeFilter_ != 0 && (probeFilter_ & ProbeBit(address)) != 0) {
        onProbedBlock(address);
    }
    if (skipsLoops()) {
        skipIdleLoop(address);
    }
    startBlock(address, costOf(address, size));
}

void ArmCore::CodeHook(uc_struct*, uint64_t address, uint32_t, void* self) {
    auto* core = static_cast<ArmCore*>(self);
    const auto at = static_cast<uint32_t>(address);
    core->lastInstruction_ = at;
    if (at - core->stopFrom_ <= core->stopSpan_) [[unlikely]] {
        core->onInstruction(at);
    }
}

void ArmCore::onInstruction(uint32_t address) {
    if (block_ == nullptr) {
        return;  // the monitor stub, or the first instruction of a block the block hook handled
    }
    clearStop();
    const size_t index = indexOf(address);
    if (index == 0) {
        previousInstruction_ = address;
        rearm(0);  // the block hook has looked at this boundary
        return;
    }
    if (block_->inItBlock[index]) {
        previousInstruction_ = address;
        checkNextBoundary();  // an IT block's instructions go together
        return;
    }
    runAfterExclusive(address);
    if (atBoundary(address)) {
        return;
    }
    rearm(index);
}

void ArmCore::runAfterExclusive(uint32_t address) {
    // Every boundary is looked at while a test waits for an exclusive load: this one follows
    // one when the instruction before it was.
    const uint32_t previous = previousInstruction_;
    previousInstruction_ = address;
    if (!afterExclusive_ ||
        !std::binary_search(exclusiveLoads_.begin(), exclusiveLoads_.end(), previous) ||
        address != previous + 4) {
        return;
    }
    const std::function<void()> fn = std::move(afterExclusive_);
    afterExclusive_ = nullptr;
    fn();
}

bool ArmCore::UnmappedHook(uc_struct*, uc_mem_type type, uint64_t address, int size, int64_t,
                           void* self) {
    auto* core = static_cast<ArmCore*>(self);
    const auto at = static_cast<uint32_t>(address);
    const char* access = "load from ";
    if (type == UC_MEM_WRITE_UNMAPPED || type == UC_MEM_WRITE_PROT) {
        access = "store to ";
    } else if (type == UC_MEM_FETCH_UNMAPPED || type == UC_MEM_FETCH_PROT) {
        access = "instruction fetch from ";
    }
    const bool mapped = type == UC_MEM_WRITE_PROT || type == UC_MEM_READ_PROT ||
                        type == UC_MEM_FETCH_PROT;
    core->fault(at, access + Hex(at) + " (" + std::to_string(size) + " bytes): " +
                        (mapped ? "not allowed there" : "nothing is mapped there"));
    return false;
}

void ArmCore::InterruptHook(uc_struct*, uint32_t number, void* self) {
    auto* core = static_cast<ArmCore*>(self);
    const uint32_t at = core->pc();
    if (at >= kExcReturnFirst) {
        // A branch to an EXC_RETURN value: the fetch from the system region faults, and the
        // exception returns here.
        core->finishBlock(at);
        core->returnFromException(at | 1u);
        return;
    }
    static const char* const kNames[] = {"",         "undefined instruction", "SVC",
                                         "prefetch abort", "data abort",     "IRQ",
                                         "FIQ",      "breakpoint"};
    const std::string name =
        number < 8 ? kNames[number] : "processor exception " + std::to_string(number);
    core->fault(at, name + " (not handled by the emulated core)");
}

uint32_t ArmCore::busRead(uint32_t address, unsigned size) {
    beforeAccess();
    const uint32_t value = board_.cpuRead(address, size);
    if (!watches_.empty()) [[unlikely]] {
        noteAccess(address, size, false);
    }
    afterAccess();
    return value;
}

void ArmCore::busWrite(uint32_t address, uint32_t value, unsigned size) {
    beforeAccess();
    board_.cpuWrite(address, value, size);
    if (!watches_.empty()) [[unlikely]] {
        noteAccess(address, size, true);
    }
    afterAccess();
}

uint64_t ArmCore::PeripheralRead(uc_struct*, uint64_t offset, unsigned size, void* self) {
    const uint32_t address = chip::kPeripherals.base + static_cast<uint32_t>(offset);
    return static_cast<ArmCore*>(self)->busRead(address, size);
}

void ArmCore::PeripheralWrite(uc_struct*, uint64_t offset, unsigned size, uint64_t value,
                              void* self) {
    const uint32_t address = chip::kPeripherals.base + static_cast<uint32_t>(offset);
    static_cast<ArmCore*>(self)->busWrite(address, static_cast<uint32_t>(value), size);
}

uint64_t ArmCore::CoreRead(uc_struct*, uint64_t offset, unsigned size, void* self) {
    const uint32_t address = chip::kPrivateBus.base + static_cast<uint32_t>(offset);
    return static_cast<ArmCore*>(self)->busRead(address, size);
}

void ArmCore::CoreWrite(uc_struct*, uint64_t offset, unsigned size, uint64_t value, void* self) {
    const uint32_t address = chip::kPrivateBus.base + static_cast<uint32_t>(offset);
    static_cast<ArmCore*>(self)->busWrite(address, static_cast<uint32_t>(value), size);
}

}  // namespace sim::arm
