// The emulated core's virtual time: what each block and each instruction in it costs, the bus's
// own time, where inside a block the next event or the harness's deadline falls, and the delay
// and idle loops run in one step.
#include <algorithm>
#include <cstring>

#include "arm_core.hpp"
#include "arm_core_memory.hpp"
#include "thumb_timing.hpp"

namespace sim::arm {

ArmCore::BlockCost& ArmCore::costOf(uint32_t address, uint32_t size) {
    const uint64_t key = (uint64_t{size} << 32) | address;
    CachedCost& cached = costCache_[(address >> 1) & (kCostCache - 1)];
    if (cached.key == key) [[likely]] {
        return *cached.cost;
    }
    if (const auto found = costs_.find(key); found != costs_.end()) {
        cached = CachedCost{key, &found->second};
        return found->second;
    }
    std::vector<uint16_t> halfwords((size + 3) / 2, 0);
    read(address, halfwords.data(), static_cast<uint32_t>(halfwords.size() * 2));
    BlockCost cost;
    const BlockTiming timing = TimeBlock(halfwords.data(), size);
    cost.instructions = timing.instructions;
    cost.cycles = timing.cycles;
    cost.takenExtra = timing.takenExtra;
    cost.end = address + size;
    uint32_t before = 0;
    for (const InstructionTiming& instruction : TimeInstructions(halfwords.data(), size)) {
        cost.offsets.push_back(instruction.offset);
        cost.before.push_back(before);
        cost.inItBlock.push_back(instruction.inItBlock);
        before += instruction.cycles;
    }
    cost.indexAt.assign((size + 1) / 2, 0);
    for (size_t i = 0; i < cost.offsets.size(); ++i) {
        const size_t end = i + 1 < cost.offsets.size() ? cost.offsets[i + 1] / 2u : cost.indexAt.size();
        for (size_t h = cost.offsets[i] / 2u; h < end; ++h) {
            cost.indexAt[h] = static_cast<uint16_t>(i);
        }
    }
    // "subs rN, #1; bne <itself>": the delay loop, three cycles a turn.
    if (size == 4 && (halfwords[0] & 0xF8FF) == 0x3801 && halfwords[1] == 0xD1FD) {
        cost.delayRegister = (halfwords[0] >> 8) & 7;
    }
    BlockCost& made = costs_.emplace(key, std::move(cost)).first->second;
    cached = CachedCost{key, &made};
    return made;
}

void ArmCore::finishBlock(uint32_t next) {
    if (block_ == nullptr) {
        return;
    }
    BlockCost& block = *block_;
    // The block's final conditional branch was counted as falling through; it was taken when
    // execution does not continue right after it.
    uint32_t taken = 0;
    if (block.takenExtra != 0 && next != block.end) {
        taken = block.takenExtra;
        ++block.takenRuns;
        block.probedTakenRuns += profiledOpen_ != 0 ? 1 : 0;
    }
    ++block.runs;
    block.probedRuns += profiledOpen_ != 0 ? 1 : 0;
    instructions_ += block.instructions;
    cycles_ += block.cycles + taken;
    blockStart_ += block.cycles + taken + stall_;
    block_ = nullptr;
}

void ArmCore::startBlock(uint32_t address, BlockCost& cost) {
    block_ = &cost;
    blockAddress_ = address;
    stall_ = 0;
    if (cost.delayRegister >= 0 && skipsLoops()) {
        fastForwardDelay(cost.delayRegister);
    }
    rearm(0);
}

void ArmCore::armStopInside(size_t from) {
    const BlockCost& block = *block_;
    const size_t count = block.offsets.size();
    for (size_t i = from; i < count; ++i) {
        if (startOf(i) >= due_ && !block.inItBlock[i]) {
            stopFrom_ = blockAddress_ + block.offsets[i];
            stopSpan_ = 0;
            return;
        }
    }
    clearStop();  // the block's end is the boundary
}

void ArmCore::refreshDue() {
    Scheduler& scheduler = board_.scheduler();
    // A deadline computed as a cycle goes stale when the clock changes rate.
    if (scheduler.rateGeneration() != deadlineRate_) {
        deadline_ = deadlinePs_ == ~Picoseconds{0} ? ~Cycles{0}
                                                    : scheduler.cycleAtOrAfter(deadlinePs_);
        deadlineRate_ = scheduler.rateGeneration();
    }
    due_ = std::min(deadline_, scheduler.nextDue());
}

void ArmCore::flush(Cycles to) {
    Scheduler& scheduler = board_.scheduler();
    scheduler.advanceTo(std::max(to, scheduler.now()));
    refreshDue();
}

void ArmCore::beforeAccess() {
    ++sideEffects_;
    Cycles start = blockStart_;
    if (block_ != nullptr) {
        accessIndex_ = indexOf(lastInstruction_);
        start = startOf(accessIndex_);
    }
    // Each access holds the bus; an instruction whose access finds it busy waits.
    if (busFree_ > start) {
        stall_ += block_ != nullptr ? busFree_ - start : 0;
        start = busFree_;
    }
    busFree_ = start + accessCost_;
    flush(start);  // what falls due before the access happens first
}

void ArmCore::afterAccess() {
    refreshDue();  // the access may have scheduled an event
    if (stopSpan_ == ~uint32_t{0} || block_ == nullptr) {
        return;  // the next boundary is looked at already
    }
    rearm(accessIndex_);
}

void ArmCore::fastForwardDelay(int registerNumber) {
    const int id = UC_ARM_REG_R0 + registerNumber;
    const uint32_t count = reg(id);
    // Turns still to go after the one the block itself is about to run; 0 means 2^32.
    uint64_t remaining = (count == 0 ? (uint64_t{1} << 32) : uint64_t{count}) - 1;
    constexpr uint64_t kTurn = CycleTable::kDataProcessing + CycleTable::kBranch;
    // Up to the next event or the deadline: it may pend an interrupt, which interrupts the loop
    // there, as it would on the processor.
    uint64_t turns = remaining;
    if (due_ != ~Cycles{0}) {
        turns = std::min(turns, due_ > blockStart_ ? (due_ - blockStart_) / kTurn : 0);
    }
    instructions_ += 2 * turns;
    cycles_ += turns * kTurn;
    blockStart_ += turns * kTurn;
    remaining -= turns;
    // The register as if the skipped turns had run.
    setReg(id, static_cast<uint32_t>(remaining + 1));
}

std::array<uint32_t, 17> ArmCore::state() const {
    static constexpr int kIds[17] = {
        UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,  UC_ARM_REG_R4, UC_ARM_REG_R5,
        UC_ARM_REG_R6, UC_ARM_REG_R7, UC_ARM_REG_R8,  UC_ARM_REG_R9,  UC_ARM_REG_R10,
        UC_ARM_REG_R11, UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR, UC_ARM_REG_XPSR,
        UC_ARM_REG_PRIMASK};
    std::array<uint32_t, 17> values{};
    for (size_t i = 0; i < values.size(); ++i) {
        values[i] = reg(kIds[i]);
    }
    return values;
}

bool ArmCore::skipIdleLoop(uint32_t address) {
    // A loop longer than this many blocks is not an idle loop worth recognising.
    constexpr uint32_t kLongestLoop = 64;
    if (mark_.sideEffects != sideEffects_ || ++mark_.blocks > kLongestLoop) {
        // A fresh mark; the rest of it is written before it is read (stage 0 saves nothing).
        mark_.address = address;
        mark_.sideEffects = sideEffects_;
        mark_.blocks = 0;
        mark_.stage = 0;
        return false;
    }
    if (address != mark_.address) {
        return false;
    }
    // Back at the marked block with nothing done to the outside world: the same registers,
    // and one turn later the same memory too?
    mark_.blocks = 0;
    const std::array<uint32_t, 17> now = state();
    const bool same = mark_.stage != 0 && now == mark_.registers &&
                      (mark_.stage == 1 ||
                       std::memcmp(sramAtMark_.data(), sram_.data(), sramInUse_) == 0);
    if (!same || mark_.stage == 1) {
        mark_.stage = same ? 2 : 1;
        if (same) {
            sramAtMark_.assign(sram_.begin(), sram_.begin() + sramInUse_);
        }
        mark_.registers = now;
        mark_.instructions = instructions_;
        mark_.clock = blockStart_;
        return false;
    }
    // Each turn is the same until an event changes something: go round in one step to just
    // before the next event or the harness's deadline. An interrupt is then taken at the loop's
    // head, up to one turn away from where it would have fallen.
    const uint64_t turnInstructions = instructions_ - mark_.instructions;
    const Cycles turnCycles = blockStart_ - mark_.clock;
    mark_.instructions = instructions_;
    mark_.clock = blockStart_;
    if (turnCycles == 0 || due_ == ~Cycles{0} || due_ <= blockStart_ + turnCycles) {
        return false;
    }
    const uint64_t turns = (due_ - blockStart_) / turnCycles;
    instructions_ += turns * turnInstructions;
    cycles_ += turns * turnCycles;
    idleSkips_ += turns;
    blockStart_ += turns * turnCycles;
    mark_.instructions = instructions_;
    mark_.clock = blockStart_;
    return true;
}

}  // namespace sim::arm
