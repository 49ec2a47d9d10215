#include "arm_core.hpp"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "flash.hpp"
#include "thumb_timing.hpp"

namespace sim::arm {

namespace {

constexpr uint32_t kSramBase = 0x20000000;
constexpr uint32_t kSramSize = 64 * 1024;
constexpr uint32_t kPeripheralBase = 0x40000000;
constexpr uint32_t kPeripheralSize = 0x00100000;
constexpr uint32_t kPrivateBusBase = 0xE0000000;
constexpr uint32_t kPrivateBusSize = 0x00100000;
// Branching to an EXC_RETURN value lands here; the page exists so that the fetch stops cleanly.
constexpr uint32_t kExcReturnPage = 0xFFFFF000;
constexpr uint32_t kExcReturnFirst = 0xFFFFFFF0;
constexpr uint32_t kReturnToHandler = 0xFFFFFFF1;
constexpr uint32_t kReturnToThread = 0xFFFFFFF9;
constexpr uint32_t kXpsrThumb = 1u << 24;
constexpr uint32_t kXpsrAligned = 1u << 9;
constexpr uint32_t kIpsrMask = 0x1FF;
constexpr uint32_t kNoEnd = 0xFFFFFFFF;  // odd, so never a Thumb instruction address
constexpr uint32_t kWfi = 0xBF30;
// Implemented priority bits: the top three of each priority byte.
constexpr int kPriorityShift = 5;

ArmCore* g_active = nullptr;

const int kFrameRegisters[6] = {UC_ARM_REG_R0, UC_ARM_REG_R1,  UC_ARM_REG_R2,
                                UC_ARM_REG_R3, UC_ARM_REG_R12, UC_ARM_REG_LR};

}  // namespace

ArmCore* ArmCore::active() {
    return g_active;
}

ArmCore::ArmCore(Board& board, FirmwareImage image)
    : board_(board), image_(std::move(image)), sram_(kSramSize, 0) {}

ArmCore::~ArmCore() {
    if (g_active == this) {
        g_active = nullptr;
    }
    if (uc_ != nullptr) {
        uc_close(uc_);
    }
}

std::unique_ptr<ArmCore> ArmCore::Attach(Board& board, const std::string& path,
                                         std::string* error) {
    std::optional<FirmwareImage> image = FirmwareImage::Read(path, error);
    if (!image) {
        return nullptr;
    }
    return Attach(board, std::move(*image), error);
}

std::unique_ptr<ArmCore> ArmCore::Attach(Board& board, FirmwareImage image, std::string* error) {
    std::unique_ptr<ArmCore> core(new ArmCore(board, std::move(image)));
    if (!core->setUp(error)) {
        return nullptr;
    }
    g_active = core.get();
    ArmCore* self = core.get();
    board.setExternalCore(Board::ExternalCore{[self] { self->run(); },
                                              [self] { return self->primask(); }});
    return core;
}

bool ArmCore::setUp(std::string* error) {
    for (const Segment& segment : image_.segments()) {
        const uint64_t end = uint64_t{segment.address} + segment.bytes.size();
        if (end <= FlashMemory::kSize) {
            board_.flash().load(segment.address, segment.bytes);
            bootCodeLoaded_ = bootCodeLoaded_ || segment.address < Board::kImageBase;
        } else if (segment.address >= kSramBase && end <= uint64_t{kSramBase} + kSramSize) {
            std::memcpy(sram_.data() + (segment.address - kSramBase), segment.bytes.data(),
                        segment.bytes.size());
        } else {
            *error = "the image has bytes at " + Hex(segment.address) +
                     ", outside the board's flash and SRAM";
            return false;
        }
    }
    uc_engine* uc = nullptr;
    uc_err err = uc_open(UC_ARCH_ARM, static_cast<uc_mode>(UC_MODE_THUMB | UC_MODE_MCLASS), &uc);
    if (err != UC_ERR_OK) {
        *error = std::string("cannot start the emulator: ") + uc_strerror(err);
        return false;
    }
    uc_ = uc;
    const auto check = [&](uc_err result, const char* what) {
        if (result != UC_ERR_OK && error->empty()) {
            *error = std::string(what) + ": " + uc_strerror(result);
        }
    };
    error->clear();
    check(uc_ctl_set_cpu_model(uc, UC_CPU_ARM_CORTEX_M3), "selecting the Cortex-M3");
    // Flash is the board's own array: what the flash controller programs, the core reads.
    check(uc_mem_map_ptr(uc, 0, FlashMemory::kSize, UC_PROT_READ | UC_PROT_EXEC,
                         board_.flash().mutableBytes()),
          "mapping flash");
    check(uc_mem_map_ptr(uc, kSramBase, kSramSize, UC_PROT_ALL, sram_.data()), "mapping SRAM");
    check(uc_mmio_map(uc, kPeripheralBase, kPeripheralSize, PeripheralRead, this,
                      PeripheralWrite, this),
          "mapping the peripherals");
    check(uc_mmio_map(uc, kPrivateBusBase, kPrivateBusSize, CoreRead, this, CoreWrite, this),
          "mapping the core's peripherals");
    check(uc_mem_map(uc, kExcReturnPage, 0x1000, UC_PROT_READ | UC_PROT_EXEC),
          "mapping the exception-return page");
    uc_hook hook{};
    check(uc_hook_add(uc, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(BlockHook), this, 1, 0),
          "adding the block hook");
    check(uc_hook_add(uc, &hook, UC_HOOK_MEM_UNMAPPED | UC_HOOK_MEM_PROT,
                      reinterpret_cast<void*>(UnmappedHook), this, 1, 0),
          "adding the memory hook");
    check(uc_hook_add(uc, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(InterruptHook), this, 1,
                      0),
          "adding the interrupt hook");
    return error->empty();
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

uint32_t ArmCore::word(uint32_t address) {
    uint32_t value = 0;
    if (uc_mem_read(uc_, address, &value, 4) != UC_ERR_OK) {
        fault(address, "load from " + Hex(address) + ": nothing is mapped there");
    }
    return value;
}

void ArmCore::putWord(uint32_t address, uint32_t value) {
    if (address < kSramBase || address - kSramBase > kSramSize - 4) {
        fault(address, "exception frame at " + Hex(address) + " is outside SRAM");
    }
    std::memcpy(sram_.data() + (address - kSramBase), &value, 4);
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

bool ArmCore::probe(const std::string& function) {
    const std::optional<Symbol> symbol = image_.symbol(function);
    if (!symbol) {
        return false;
    }
    if (probes_.empty()) {
        profiledProbe_ = symbol->address;
    }
    probes_[symbol->address] = function;
    return true;
}

void ArmCore::resetCore() {
    // With the boot loader in the image the core starts where the processor does; with the
    // firmware alone, where the boot loader hands over: VTOR at the image, its stack and entry.
    const uint32_t table = bootCodeLoaded_ ? 0 : Board::kImageBase;
    board_.nvic().setVtor(table);
    setReg(UC_ARM_REG_SP, word(table));
    setReg(UC_ARM_REG_PC, word(table + 4) | 1u);
}

void ArmCore::run() {
    resetCore();
    flush();
    for (;;) {
        uint32_t pc = reg(UC_ARM_REG_PC) & ~1u;
        if (pc >= kExcReturnFirst) {
            returnFromException(pc | 1u);
            continue;
        }
        if (pc < Board::kImageBase && !bootCodeLoaded_) {
            board_.callAddress(pc | 1u);  // stops for good: the boot loader is not loaded
            fault(pc, "the boot loader is not in this image");
        }
        if (const uint32_t exception = takeable()) {
            enterException(exception);
            continue;
        }
        stopRequested_ = false;
        const uc_err err = uc_emu_start(uc_, pc | 1u, kNoEnd, 0, 0);
        if (err != UC_ERR_OK) {
            fault(reg(UC_ARM_REG_PC), std::string("the emulator stopped: ") + uc_strerror(err));
        }
        if (stopRequested_) {
            continue;
        }
        // Stopped of its own accord: the core executed WFI. Sleep until an interrupt is pending
        // (PRIMASK does not keep the core asleep), letting virtual time run to the next event.
        pc = reg(UC_ARM_REG_PC) & ~1u;
        uint16_t op = 0;
        if (read(pc, &op, 2) && op == kWfi) {
            setReg(UC_ARM_REG_PC, (pc + 2) | 1u);
        }
        flush();
        for (;;) {
            const Nvic& nvic = board_.nvic();
            if (nvic.sysTickPending() || (nvic.pending() & nvic.enabled()) != 0) {
                break;
            }
            std::optional<Cycles> until = board_.scheduler().nextEvent();
            if (const auto deadline = board_.coreDeadline()) {
                until = until ? std::min(*until, *deadline) : *deadline;
            }
            if (!until) {
                fault(pc, "WFI with no interrupt that could ever wake the core");
            }
            const Cycles now = board_.scheduler().now();
            board_.coreAdvance(*until > now ? *until - now : 1);
        }
    }
}

void ArmCore::BlockHook(uc_struct*, uint64_t address, uint32_t size, void* self) {
    static_cast<ArmCore*>(self)->onBlock(static_cast<uint32_t>(address), size);
}

void ArmCore::onBlock(uint32_t address, uint32_t size) {
    if (address >= kExcReturnFirst || (address < Board::kImageBase && !bootCodeLoaded_) ||
        takeable() != 0) {
        // The run loop deals with it before this block runs.
        stopRequested_ = true;
        uc_emu_stop(uc_);
        return;
    }
    if (!probes_.empty() && (probes_.count(address) != 0 ||
                             (!open_.empty() && address == open_.back().returnAddress))) {
        flush();
        if (!open_.empty() && address == open_.back().returnAddress &&
            reg(UC_ARM_REG_SP) == open_.back().stack) {
            Open done = open_.back();
            open_.pop_back();
            profiledOpen_ -= done.profiled ? 1 : 0;
            done.record.instructions = instructions_ - done.record.instructions;
            done.record.cycles = cycles_ - done.cycles0;
            done.record.virtualTime = board_.scheduler().nowPs() - done.record.virtualTime;
            constexpr size_t kCallsKept = 1000000;
            if (calls_.size() >= kCallsKept) {
                calls_.erase(calls_.begin(), calls_.begin() + kCallsKept / 2);
            }
            calls_.push_back(done.record);
        }
        if (const auto probe = probes_.find(address); probe != probes_.end()) {
            CallRecord record{&probe->second, reg(UC_ARM_REG_R0),       instructions_, 0,
                              board_.scheduler().nowPs(), instructions_, cycles_,
                              board_.scheduler().nowPs()};
            const bool profiled = address == profiledProbe_;
            profiledOpen_ += profiled ? 1 : 0;
            open_.push_back(
                Open{reg(UC_ARM_REG_LR) & ~1u, reg(UC_ARM_REG_SP), record, cycles_, profiled});
        }
    }
    skipIdleLoop(address);
    BlockCost& cost = costOf(address, size);
    ++cost.runs;
    cost.probedRuns += profiledOpen_ != 0 ? 1 : 0;
    // The last block's final conditional branch was counted as falling through; it was taken
    // when execution did not continue right after it.
    uint32_t branchTaken = 0;
    if (previous_ != nullptr && previous_->takenExtra != 0 && address != previous_->end) {
        branchTaken = previous_->takenExtra;
        ++previous_->takenRuns;
        previous_->probedTakenRuns += profiledOpen_ != 0 ? 1 : 0;
    }
    previous_ = &cost;
    if (cost.delayRegister >= 0) {
        fastForwardDelay(cost.delayRegister);
    }
    instructions_ += cost.instructions;
    charge(cost.cycles + branchTaken);
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
        mark_ = Mark{};
        mark_.address = address;
        mark_.sideEffects = sideEffects_;
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
                       std::memcmp(sramAtMark_.data(), sram_.data(), kSramSize) == 0);
    if (!same || mark_.stage == 1) {
        mark_.stage = same ? 2 : 1;
        if (same) {
            sramAtMark_ = sram_;
        }
        mark_.registers = now;
        mark_.instructions = instructions_;
        mark_.cycles = cycles_;
        return false;
    }
    // Each turn is the same until an event changes something: go round in one step to just
    // before the next event or the harness's deadline. An interrupt is then taken at the loop's
    // head, up to one turn away from where it would have fallen.
    const uint64_t turnInstructions = instructions_ - mark_.instructions;
    const uint64_t turnCycles = cycles_ - mark_.cycles;
    mark_.instructions = instructions_;
    mark_.cycles = cycles_;
    flush();
    const Cycles nowCycle = board_.scheduler().now();
    if (turnCycles == 0 || flushAt_ == ~Cycles{0} || flushAt_ <= nowCycle + turnCycles) {
        return false;
    }
    const uint64_t turns = (flushAt_ - nowCycle) / turnCycles;
    instructions_ += turns * turnInstructions;
    idleSkips_ += turns;
    charge(turns * turnCycles);
    mark_.instructions = instructions_;
    mark_.cycles = cycles_;
    return true;
}

ArmCore::BlockCost& ArmCore::costOf(uint32_t address, uint32_t size) {
    const uint64_t key = (uint64_t{size} << 32) | address;
    const auto found = costs_.find(key);
    if (found != costs_.end()) {
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
    // "subs rN, #1; bne <itself>": the delay loop, three cycles a turn.
    if (size == 4 && (halfwords[0] & 0xF8FF) == 0x3801 && halfwords[1] == 0xD1FD) {
        cost.delayRegister = (halfwords[0] >> 8) & 7;
    }
    return costs_.emplace(key, cost).first->second;
}

std::vector<ArmCore::FunctionCost> ArmCore::takeProfile() {
    std::map<std::string, FunctionCost> byFunction;
    for (auto& [key, cost] : costs_) {
        if (cost.runs == 0) {
            continue;
        }
        const auto address = static_cast<uint32_t>(key);
        std::string name = image_.functionAt(address);
        if (name.empty()) {
            name = Hex(address);
        }
        FunctionCost& f = byFunction[name];
        f.function = name;
        f.instructions += cost.runs * cost.instructions;
        f.cycles += cost.runs * cost.cycles + cost.takenRuns * cost.takenExtra;
        f.probedInstructions += cost.probedRuns * cost.instructions;
        f.probedCycles += cost.probedRuns * cost.cycles + cost.probedTakenRuns * cost.takenExtra;
        if (image_.startsFunction(address)) {
            f.calls += cost.runs;
            f.probedCalls += cost.probedRuns;
        }
        cost.runs = 0;
        cost.probedRuns = 0;
        cost.takenRuns = 0;
        cost.probedTakenRuns = 0;
    }
    std::vector<FunctionCost> dearestFirst;
    for (auto& [name, f] : byFunction) {
        dearestFirst.push_back(std::move(f));
    }
    std::sort(dearestFirst.begin(), dearestFirst.end(),
              [](const FunctionCost& a, const FunctionCost& b) {
                  return a.probedCycles != b.probedCycles ? a.probedCycles > b.probedCycles
                                                          : a.cycles > b.cycles;
              });
    return dearestFirst;
}

void ArmCore::charge(uint64_t cycles) {
    cycles_ += cycles;
    // The board advanced time for each bus access as it was made, and for each block's
    // instructions as the block began; the two overlap, so a block takes the longer of its
    // instructions and its own accesses. The shorter is known once the block is over and is
    // handed back from the time charged next (what one charge cannot take, the following one
    // does). Reckoned block by block, the time does not depend on where the emulator happens
    // to cut the code into blocks, and a bus busier than the instructions stalls the core then
    // and there, never later.
    overlap_ += std::min(lastCharge_, accessCredit_);
    accessCredit_ = 0;
    lastCharge_ = cycles;
    const uint64_t credited = std::min(cycles, overlap_);
    overlap_ -= credited;
    unflushed_ += cycles - credited;
    // Time is handed to the board in batches: nothing on the board can change before its next
    // event or the harness's deadline, and every bus access flushes first.
    if (board_.scheduler().now() + unflushed_ >= flushAt_) {
        flush();
    }
}

void ArmCore::flush() {
    if (unflushed_ != 0) {
        const uint64_t cycles = unflushed_;
        unflushed_ = 0;
        board_.coreAdvance(cycles);
    }
    flushAt_ = ~Cycles{0};
    if (const auto next = board_.scheduler().nextEvent()) {
        flushAt_ = *next;
    }
    // The harness's deadline as a cycle changes only when the harness sets a new one or the
    // clock changes rate.
    const Picoseconds deadline = board_.runner().deadline();
    const uint32_t clockHz = board_.scheduler().clockHz();
    if (deadline != deadlinePs_ || clockHz != deadlineClockHz_) {
        deadlinePs_ = deadline;
        deadlineClockHz_ = clockHz;
        deadlineCycle_ = board_.coreDeadline().value_or(~Cycles{0});
    }
    flushAt_ = std::min(flushAt_, deadlineCycle_);
}

void ArmCore::fastForwardDelay(int registerNumber) {
    flush();
    const int id = UC_ARM_REG_R0 + registerNumber;
    const uint32_t count = reg(id);
    // Turns still to go after the one the block itself is about to run; 0 means 2^32.
    uint64_t remaining = (count == 0 ? (uint64_t{1} << 32) : uint64_t{count}) - 1;
    constexpr uint64_t kTurn = CycleTable::kDataProcessing + CycleTable::kBranch;
    while (remaining > 0 && takeable() == 0) {
        const Cycles now = board_.scheduler().now();
        uint64_t turns = remaining;
        if (const auto next = board_.scheduler().nextEvent()) {
            turns = std::min(turns, std::max<uint64_t>(1, (*next > now ? *next - now : 1) / kTurn));
        }
        if (const auto deadline = board_.coreDeadline(); deadline && *deadline > now) {
            turns = std::min(turns, std::max<uint64_t>(1, (*deadline - now) / kTurn));
        }
        instructions_ += 2 * turns;
        charge(turns * kTurn);
        remaining -= turns;
    }
    // The register as if the skipped turns had run; an interrupt now interrupts the loop there.
    setReg(id, static_cast<uint32_t>(remaining + 1));
}

int ArmCore::priorityOf(uint32_t exception) const {
    if (exception >= kFirstPeripheralException) {
        return board_.nvic().priority(exception - kFirstPeripheralException) >> kPriorityShift;
    }
    return 0;  // SysTick: its priority register is not modelled and resets to 0
}

uint32_t ArmCore::takeable() const {
    const Nvic& nvic = board_.nvic();
    const uint64_t ready = nvic.pending() & nvic.enabled() &
                           ((uint64_t{1} << kPeripheralInterrupts) - 1);
    if (ready == 0 && !nvic.sysTickPending()) {
        return 0;
    }
    if (primask()) {
        return 0;
    }
    // The most urgent pending exception (lowest priority value, then lowest number)...
    uint32_t best = 0;
    int bestPriority = 1 << 30;
    if (nvic.sysTickPending()) {
        best = kExceptionSysTick;
        bestPriority = priorityOf(kExceptionSysTick);
    }
    for (uint64_t bits = ready; bits != 0; bits &= bits - 1) {
        const uint32_t exception =
            kFirstPeripheralException + static_cast<uint32_t>(__builtin_ctzll(bits));
        const int priority = priorityOf(exception);
        if (priority < bestPriority) {
            best = exception;
            bestPriority = priority;
        }
    }
    // ...preempts only what runs at a lower urgency.
    for (const uint32_t running : active_) {
        if (bestPriority >= priorityOf(running)) {
            return 0;
        }
    }
    return best;
}

void ArmCore::enterException(uint32_t exception) {
    uint32_t frame[8];
    for (int i = 0; i < 6; ++i) {
        frame[i] = reg(kFrameRegisters[i]);
    }
    frame[6] = reg(UC_ARM_REG_PC) & ~1u;
    const uint32_t sp = reg(UC_ARM_REG_SP);
    const uint32_t interrupted = active_.empty() ? 0 : active_.back();
    frame[7] = (reg(UC_ARM_REG_XPSR) & ~(kIpsrMask | kXpsrAligned)) | interrupted |
               ((sp & 4u) != 0 ? kXpsrAligned : 0);
    const uint32_t base = (sp - 32) & ~4u;
    for (uint32_t i = 0; i < 8; ++i) {
        putWord(base + 4 * i, frame[i]);
    }
    const uint32_t handler = word(board_.nvic().vtor() + 4 * exception);
    if ((handler & 1u) == 0) {
        fault(handler, "exception " + std::to_string(exception) + ": vector " + Hex(handler) +
                           " at VTOR " + Hex(board_.nvic().vtor()) + " is not Thumb code");
    }
    setReg(UC_ARM_REG_SP, base);
    setReg(UC_ARM_REG_LR, active_.empty() ? kReturnToThread : kReturnToHandler);
    setReg(UC_ARM_REG_XPSR, kXpsrThumb);
    setReg(UC_ARM_REG_PC, handler | 1u);
    board_.nvic().acknowledge(exception);
    active_.push_back(exception);
    ++taken_.at(exception);
    ++sideEffects_;
    charge(CycleTable::kExceptionEntry);
}

void ArmCore::returnFromException(uint32_t excReturn) {
    const bool toThread = excReturn == kReturnToThread;
    if (active_.empty() || (excReturn != kReturnToThread && excReturn != kReturnToHandler) ||
        toThread != (active_.size() == 1)) {
        fault(excReturn, "EXC_RETURN " + Hex(excReturn) + " does not match the active exceptions");
    }
    const uint32_t sp = reg(UC_ARM_REG_SP);
    uint32_t frame[8];
    for (uint32_t i = 0; i < 8; ++i) {
        frame[i] = word(sp + 4 * i);
    }
    for (int i = 0; i < 6; ++i) {
        setReg(kFrameRegisters[i], frame[i]);
    }
    setReg(UC_ARM_REG_XPSR, frame[7] & ~(kIpsrMask | kXpsrAligned));
    setReg(UC_ARM_REG_SP, sp + 32 + ((frame[7] & kXpsrAligned) != 0 ? 4 : 0));
    setReg(UC_ARM_REG_PC, frame[6] | 1u);
    const uint32_t exception = active_.back();
    active_.pop_back();
    board_.nvic().complete(exception);
    charge(CycleTable::kExceptionReturn);
}

void ArmCore::fault(uint32_t address, const std::string& what) {
    const uint32_t pc = reg(UC_ARM_REG_PC) & ~1u;
    std::string where = " (pc " + Hex(pc);
    const std::string function = image_.functionAt(pc);
    if (!function.empty()) {
        where += " in " + function;
    }
    board_.coreFault(address, what + where + ")");
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
}

void ArmCore::InterruptHook(uc_struct* uc, uint32_t number, void* self) {
    auto* core = static_cast<ArmCore*>(self);
    if ((core->reg(UC_ARM_REG_PC) & ~1u) >= kExcReturnFirst) {
        core->stopRequested_ = true;  // fetching at EXC_RETURN: the run loop returns
        uc_emu_stop(uc);
        return;
    }
    static const char* const kNames[] = {"",         "undefined instruction", "SVC",
                                         "prefetch abort", "data abort",     "IRQ",
                                         "FIQ",      "breakpoint"};
    const std::string name =
        number < 8 ? kNames[number] : "processor exception " + std::to_string(number);
    core->fault(core->reg(UC_ARM_REG_PC), name + " (not handled by the emulated core)");
}

uint64_t ArmCore::PeripheralRead(uc_struct*, uint64_t offset, unsigned size, void* self) {
    auto* core = static_cast<ArmCore*>(self);
    if (core->unflushed_ != 0) {
        core->flush();
    }
    ++core->sideEffects_;
    core->accessCredit_ += core->board_.config().accessCost;
    const uint32_t value = core->board_.cpuRead(kPeripheralBase + static_cast<uint32_t>(offset), size);
    core->flush();  // the access may have scheduled an event
    return value;
}

void ArmCore::PeripheralWrite(uc_struct*, uint64_t offset, unsigned size, uint64_t value,
                              void* self) {
    auto* core = static_cast<ArmCore*>(self);
    if (core->unflushed_ != 0) {
        core->flush();
    }
    ++core->sideEffects_;
    core->accessCredit_ += core->board_.config().accessCost;
    core->board_.cpuWrite(kPeripheralBase + static_cast<uint32_t>(offset),
                          static_cast<uint32_t>(value), size);
    core->flush();
}

uint64_t ArmCore::CoreRead(uc_struct*, uint64_t offset, unsigned size, void* self) {
    auto* core = static_cast<ArmCore*>(self);
    if (core->unflushed_ != 0) {
        core->flush();
    }
    ++core->sideEffects_;
    core->accessCredit_ += core->board_.config().accessCost;
    const uint32_t value = core->board_.cpuRead(kPrivateBusBase + static_cast<uint32_t>(offset), size);
    core->flush();  // the access may have scheduled an event
    return value;
}

void ArmCore::CoreWrite(uc_struct*, uint64_t offset, unsigned size, uint64_t value, void* self) {
    auto* core = static_cast<ArmCore*>(self);
    if (core->unflushed_ != 0) {
        core->flush();
    }
    ++core->sideEffects_;
    core->accessCredit_ += core->board_.config().accessCost;
    core->board_.cpuWrite(kPrivateBusBase + static_cast<uint32_t>(offset),
                          static_cast<uint32_t>(value), size);
    core->flush();
}

}  // namespace sim::arm
