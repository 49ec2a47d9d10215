// The emulated core as a debugger sees it: breakpoints, watchpoints on SRAM and on the bus,
// single instructions, a halt asked from outside, and the registers and memory read and written
// while the firmware is stopped.
//
// A debug stop falls at an instruction boundary, the same place the harness's own stops fall:
// virtual time there is exactly that of the instructions executed, and the run can go on from it
// as if it had never stopped.
#include <algorithm>
#include <cstring>

#include "arm_core.hpp"
#include "arm_core_memory.hpp"
#include "chip.hpp"

namespace sim::arm {

namespace {

bool Overlaps(uint32_t a, uint32_t aLength, uint32_t b, uint32_t bLength) {
    return uint64_t{a} < uint64_t{b} + bLength && uint64_t{b} < uint64_t{a} + aLength;
}


bool Matches(WatchKind watch, bool write) {
    return watch == WatchKind::Access || (watch == WatchKind::Write) == write;
}

}  // namespace

void ArmCore::addBreakpoint(uint32_t address) {
    address &= ~1u;
    if (std::find(breakpoints_.begin(), breakpoints_.end(), address) == breakpoints_.end()) {
        breakpoints_.push_back(address);
    }
    updateDebugEveryBoundary();
}

void ArmCore::removeBreakpoint(uint32_t address) {
    std::erase(breakpoints_, address & ~1u);
    updateDebugEveryBoundary();
}

void ArmCore::addWatch(uint32_t address, uint32_t length, WatchKind kind) {
    const Watch watch{address, std::max<uint32_t>(length, 1), kind};
    if (std::find(watches_.begin(), watches_.end(), watch) == watches_.end()) {
        watches_.push_back(watch);
    }
    watchesChanged();
}

void ArmCore::removeWatch(uint32_t address, uint32_t length, WatchKind kind) {
    std::erase(watches_, Watch{address, std::max<uint32_t>(length, 1), kind});
    watchesChanged();
}

void ArmCore::clearDebugMarks() {
    breakpoints_.clear();
    watches_.clear();
    stepping_ = false;
    watchesChanged();
}

void ArmCore::stepInstruction() {
    stepping_ = true;
    updateDebugEveryBoundary();
}

void ArmCore::requestHalt() {
    // Called between runs, or from a model's event in the middle of one (the debugger polls its
    // connection from one): the next boundary stops.
    haltRequested_ = true;
    updateDebugEveryBoundary();
}

void ArmCore::setExact(bool exact) {
    exact_ = exact;
    updateDebugEveryBoundary();
}

void ArmCore::stopAtPosition(std::optional<RunPosition> at) {
    positionStop_ = at;
    updateDebugEveryBoundary();
}

void ArmCore::recordHits(bool record, RunPosition before) {
    recordHits_ = record;
    hitsBefore_ = before;
    lastHit_.reset();
}

void ArmCore::updateDebugEveryBoundary() {
    debugEveryBoundary_ = !breakpoints_.empty() || !watches_.empty() || stepping_ ||
                          haltRequested_ || positionStop_.has_value();
    if (debugEveryBoundary_) {
        checkNextBoundary();
    }
}

void ArmCore::watchesChanged() {
    updateDebugEveryBoundary();
    // SRAM accesses are seen through the emulator's memory hook, installed over the span of the
    // SRAM watches only (an access starting up to three bytes before one overlaps it).
    if (memoryHook_ != 0) {
        uc_hook_del(uc_, memoryHook_);
        memoryHook_ = 0;
    }
    uint32_t begin = ~0u;
    uint32_t end = 0;
    for (const Watch& watch : watches_) {
        if (chip::kSram.contains(watch.address)) {
            begin = std::min(begin, std::max(watch.address, chip::kSram.base + 3) - 3);
            end = std::max(end, watch.address + watch.length - 1);
        }
    }
    if (begin <= end) {
        uc_hook_add(uc_, &memoryHook_, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
                    reinterpret_cast<void*>(MemoryHook), this, begin, end);
    }
    // Code translated before the hook changed is translated again (the image's code in flash;
    // a flush of every translation would clear the emulator's whole code buffer, seconds).
    uc_ctl_remove_cache(uc_, chip::kFlash.base, chip::kFlash.end());
}

void ArmCore::MemoryHook(uc_struct*, uc_mem_type type, uint64_t address, int size, int64_t,
                         void* self) {
    static_cast<ArmCore*>(self)->noteAccess(static_cast<uint32_t>(address),
                                            static_cast<unsigned>(size), type == UC_MEM_WRITE);
}

void ArmCore::noteAccess(uint32_t address, unsigned size, bool write) {
    if (pendingWatch_) {
        return;  // the first access of the instruction that hit one is the one reported
    }
    for (const Watch& watch : watches_) {
        if (Matches(watch.kind, write) && Overlaps(address, size, watch.address, watch.length)) {
            pendingWatch_ = DebugStop{DebugStop::Why::Watch, 0, watch.kind, address};
            checkNextBoundary();
            return;
        }
    }
}

uint64_t ArmCore::instructionsAt(uint32_t address) const {
    return instructions_ + (block_ != nullptr ? indexOf(address) : 0);
}

bool ArmCore::debugStopAt(uint32_t address) {
    if (address >= kStubPage && address - kStubPage < 0x1000) {
        return false;  // the core's own way into and out of a handler
    }
    const RunPosition here{instructionsAt(address), entries_};
    if (here != position_) {
        previousPosition_ = position_;
        position_ = here;
    }
    const bool executed = here.instructions != resumeInstructions_;
    if (executed) {
        resumeFrom_.reset();
    }
    std::optional<DebugStop> stop;
    if (pendingWatch_) {
        stop = *pendingWatch_;
        pendingWatch_.reset();
    } else if (std::find(breakpoints_.begin(), breakpoints_.end(), address) !=
                   breakpoints_.end() &&
               resumeFrom_ != address) {
        stop = DebugStop{DebugStop::Why::Breakpoint};
    } else if (stepping_ && (executed || entries_ != resumeEntries_)) {
        stop = DebugStop{DebugStop::Why::Step};
    } else if (haltRequested_) {
        stop = DebugStop{DebugStop::Why::Halt};
    }
    if (stop && recordHits_) {
        // A replay looking for where the debugger would have stopped: noted, run on.
        if (here < hitsBefore_ && (stop->why == DebugStop::Why::Breakpoint ||
                                   stop->why == DebugStop::Why::Watch)) {
            stop->pc = address;
            lastHit_ = DebugHit{here, *stop};
        }
        resumeFrom_ = address;
        stop.reset();
    }
    if (!stop && positionStop_ == here) {
        stop = DebugStop{DebugStop::Why::Position};
        positionStop_.reset();
    }
    if (!stop) {
        return false;
    }
    stop->pc = address;
    debugStop_ = *stop;
    ++debugStops_;
    resumeFrom_ = address;
    stepping_ = false;
    haltRequested_ = false;
    updateDebugEveryBoundary();
    return true;
}

uint32_t ArmCore::debugRegister(int id) const {
    const uint32_t value = reg(id);
    if (id == UC_ARM_REG_XPSR) {
        // The emulator keeps IPSR at 0 (a branch to EXC_RETURN is a plain branch to it); the
        // active exception is the board's.
        return (value & ~kIpsrMask) | board_.nvic().active();
    }
    if (id == UC_ARM_REG_PC) {
        return value & ~1u;
    }
    return value;
}

void ArmCore::setDebugRegister(int id, uint32_t value) {
    if (id == UC_ARM_REG_XPSR) {
        value = (value & ~kIpsrMask) | kXpsrThumb;
    } else if (id == UC_ARM_REG_PC) {
        value |= 1u;
        resumeFrom_.reset();
    }
    setReg(id, value);
}

bool ArmCore::writeSram(uint32_t address, const uint8_t* data, uint32_t length) {
    if (!chip::kSram.contains(address, length)) {
        return false;
    }
    std::memcpy(sram_.data() + (address - chip::kSram.base), data, length);
    return true;
}

std::string ArmCore::functionAt(uint32_t address) const {
    address &= ~1u;
    const auto& functions = image_.functions();
    auto after = functions.upper_bound(address);
    if (after == functions.begin()) {
        return {};
    }
    --after;
    const auto& [start, function] = *after;
    return address - start < std::max<uint32_t>(function.second, 2) ? function.first
                                                                      : std::string();
}

}  // namespace sim::arm
