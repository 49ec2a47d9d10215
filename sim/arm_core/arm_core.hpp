// The real firmware image on the simulated board: an emulated Cortex-M3 (Unicorn executes the
// Thumb-2 instructions) wired to the same board models the host-compiled firmware uses.
//
// Unicorn gives instruction execution, flat memory and hooks. What the processor does around the
// instructions is ours, on top, by the same exception rules as the host core
// (exception_rules.hpp): exception entry with the eight-word frame, the handler from the vector
// table at VTOR, EXC_RETURN, PRIMASK, priorities and nesting, and the exclusive monitor cleared
// on entry and return; peripheral loads and stores through the board's bus decoder; an
// instruction count and an estimated cycle count (thumb_timing.hpp) that are the virtual time;
// the delay loop and unchanged idle loops run in one step.
//
// The whole run between two hand-overs to the harness is one call into the emulator: exceptions
// are entered and left from its hooks by redirecting the program counter. A hook at every
// instruction boundary is one compare in the common case; it stops where an event falls due
// inside a block, where an access pended an exception, at the harness's deadline, so that an
// exception is taken between the two instructions where it became pending.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <unicorn/unicorn.h>

#include "board.hpp"
#include "core.hpp"
#include "firmware_image.hpp"
#include "store_check.hpp"

namespace sim::arm {

// One call of a probed function: what it cost from entry to return.
struct CallRecord {
    const std::string* function;  // the probed function's name
    uint32_t argument;        // r0 at entry
    uint64_t instructions;
    uint64_t cycles;          // estimated (thumb_timing.hpp)
    Picoseconds virtualTime;  // virtual time from entry to return
    uint64_t startInstructions;  // instructions executed from reset to the entry
    uint64_t startCycles;        // estimated cycles from reset to the entry
    Picoseconds startTime;       // virtual time at the entry
};

// Where the instructions went, by function (ArmCore::takeProfile).
struct FunctionCost {
    std::string function;
    uint64_t instructions = 0;
    uint64_t cycles = 0;
    uint64_t probedInstructions = 0;
    uint64_t probedCycles = 0;
    uint64_t calls = 0;  // runs of its first block (a loop back to it would count too)
    uint64_t probedCalls = 0;
};

// An exception the core entered: which, and the address of the instruction it interrupted.
struct ExceptionEntry {
    uint32_t exception;
    uint32_t returnAddress;
    uint64_t instructions;  // executed before it
};

// What a debugger asked the core to stop for (arm_debug.cpp).
enum class WatchKind { Write, Read, Access };
struct DebugStop {
    enum class Why { Breakpoint, Watch, Step, Halt, Position };
    Why why = Why::Halt;
    uint32_t pc = 0;
    WatchKind watchKind = WatchKind::Write;  // for Why::Watch
    uint32_t watchAddress = 0;               // the address the access was made to
};

// Where a run is, as exactly as a replay needs: the instructions executed and the exceptions
// entered (a handler's first instruction and the one it interrupted share the count).
struct RunPosition {
    uint64_t instructions = 0;
    uint64_t entries = 0;
    auto operator<=>(const RunPosition&) const = default;
};

// A debugger's stop a run met while the core only recorded them.
struct DebugHit {
    RunPosition at;
    DebugStop stop;
};

class ArmCore final : public Core {
  public:
    // Loads the image into the board's flash and the core's SRAM and fits the core to the
    // board; nothing (and the reason) when the file cannot be used.
    static std::unique_ptr<ArmCore> Load(Board& board, const std::string& path,
                                         std::string* error);
    static std::unique_ptr<ArmCore> Load(Board& board, FirmwareImage image, std::string* error);

    ~ArmCore() override;
    ArmCore(const ArmCore&) = delete;
    ArmCore& operator=(const ArmCore&) = delete;

    // --- Core. ---
    StopReason runUntil(Picoseconds deadline, const std::function<bool()>& condition) override;
    bool started() const override { return started_; }
    bool halted() const override { return halted_; }
    const std::string& haltReason() const override { return haltReason_; }
    bool interruptsMasked() const override { return primask(); }
    void exceptionsChanged() override { checkNextBoundary(); }
    void busFault(const std::string& what) override;
    const std::optional<BootLoaderCall>& bootLoaderCall() const override { return bootLoaderCall_; }
    uint64_t exceptionsTaken(uint32_t exception) const override { return taken_.at(exception); }
    uint64_t idleTurns() const override { return idleSkips_; }
    void afterNextExclusiveLoad(std::function<void()> fn) override;

    Board& board() { return board_; }
    const FirmwareImage& image() const { return image_; }
    uint64_t instructions() const { return instructions_; }
    // Estimated cycles of the instructions executed (thumb_timing.hpp), without bus stalls.
    uint64_t cycles() const { return cycles_; }
    bool primask() const;
    // Idle loop turns the core skipped instead of executing them one by one.
    uint64_t idleSkips() const { return idleSkips_; }

    // Told of every exception the core enters, in front of the interrupted instruction.
    void onException(std::function<void(const ExceptionEntry&)> listener) {
        exceptionListener_ = std::move(listener);
    }
    // The exclusive loads in the image's functions (LDREX, LDREXB, LDREXH), by address.
    const std::vector<uint32_t>& exclusiveLoads() const { return exclusiveLoads_; }

    // Reads target memory (flash or SRAM) while the firmware is stopped; false if unmapped.
    bool read(uint32_t address, void* out, uint32_t size) const;
    std::optional<int32_t> readSymbolWord(const std::string& name, uint32_t offset = 0) const;

    // Records every call of the named function from now on (the oldest records beyond a
    // million are dropped). The profile's "inside" columns count the calls of the function
    // probed first.
    bool probe(const std::string& function);
    const std::vector<CallRecord>& calls() const { return calls_; }

    // Where the instructions went since the previous call (or the start), by function, dearest
    // first: executed blocks' instructions and table cycles (bus access time not included;
    // fast-forwarded idle and delay loops neither), in all and inside calls of the function
    // probed first (the screen changes).
    std::vector<FunctionCost> takeProfile();

    // --- A debugger's view (arm_debug.cpp). While any mark is set, or a step or a halt is
    // asked, every instruction boundary is looked at and no idle or delay loop is skipped
    // (unless the run is exact, below), so that a stop falls exactly where it is due; runUntil then returns StopReason::Debug with
    // the firmware stopped in front of the instruction at debugStop().pc. ---
    void addBreakpoint(uint32_t address);
    void removeBreakpoint(uint32_t address);
    // Stops after an instruction whose access overlaps [address, address + length): SRAM or
    // peripheral registers.
    void addWatch(uint32_t address, uint32_t length, WatchKind kind);
    void removeWatch(uint32_t address, uint32_t length, WatchKind kind);
    void clearDebugMarks();
    // The next run stops in front of the instruction after the next one executed (or in front of
    // a handler's first, when an exception is taken first).
    void stepInstruction();
    // The run under way stops at the next instruction boundary (safe from any thread).
    void requestHalt();
    const DebugStop& debugStop() const { return debugStop_; }
    uint64_t debugStops() const { return debugStops_; }
    // The processor's registers as a debugger sees them (xPSR with the active exception);
    // Unicorn's register ids.
    uint32_t debugRegister(int id) const;
    void setDebugRegister(int id, uint32_t value);
    // Writes SRAM (not flash, not the bus); false outside it.
    bool writeSram(uint32_t address, const uint8_t* data, uint32_t length);
    // The function an address is in, or empty.
    std::string functionAt(uint32_t address) const;
    // --- Replay, for running backwards (arm_debug.cpp). ---
    // Idle and delay loops are skipped whatever the debugger's marks, steps and stops: a run
    // then goes the same way whatever a debugger asks, so that running it again from a copy of
    // the process gives the same instructions. (A mark inside such a loop is met on its first
    // turns and after each event, not on every turn.)
    void setExact(bool exact);
    // Stops (DebugStop::Why::Position) at the first boundary at that position.
    void stopAtPosition(std::optional<RunPosition> at);
    // Breakpoints and watches are only recorded, not stopped at: the last hit before `before`
    // is kept.
    void recordHits(bool record, RunPosition before = {});
    const std::optional<DebugHit>& lastHit() const { return lastHit_; }
    // The boundary looked at last, and the one before it.
    RunPosition position() const { return position_; }
    RunPosition previousPosition() const { return previousPosition_; }

    // Ends the run for good (the debugger killed it).
    void endRun(const std::string& why) { halt(why); }

  private:
    // A translated block's cost, and where each of its instructions starts.
    struct BlockCost {
        uint32_t instructions = 0;
        uint32_t cycles = 0;
        uint32_t takenExtra = 0;  // cycles its final conditional branch costs more when taken
        uint32_t end = 0;         // the address after it: where a branch not taken goes
        int delayRegister = -1;   // the block is "subs rN, #1; bne <itself>"
        // Per instruction: its offset in the block and the cycles of those before it.
        std::vector<uint16_t> offsets;
        std::vector<uint32_t> before;
        std::vector<bool> inItBlock;  // governed by an IT: no exception is taken in front of it
        std::vector<uint16_t> indexAt;  // the instruction each halfword of the block belongs to
        uint64_t runs = 0;        // since the last profile was taken
        uint64_t probedRuns = 0;  // of them inside a probed function's call
        uint64_t takenRuns = 0;   // runs that ended in a taken conditional branch
        uint64_t probedTakenRuns = 0;
        // Instructions and cycles of runs cut short (an exception, the harness's stop).
        uint64_t partialInstructions = 0;
        uint64_t partialCycles = 0;
    };
    struct Open {
        uint32_t returnAddress;
        uint32_t stack;
        CallRecord record;
        uint64_t cycles0;
        bool profiled;  // a call of the function probed first
    };
    // Idle loops: the core coming back to the same block with the same registers and memory,
    // having touched no peripheral and taken no exception, can only go round until an event.
    struct Mark {
        uint32_t address = 0;
        std::array<uint32_t, 17> registers{};
        uint64_t instructions = 0;
        Cycles clock = 0;
        uint64_t sideEffects = 0;
        uint32_t blocks = 0;  // since the core was last at the marked block
        int stage = 0;        // 0: nothing saved, 1: registers saved, 2: memory saved too
    };
    enum class Stop { None, Deadline, Condition, Debug };
    struct Watch {
        uint32_t address;
        uint32_t length;
        WatchKind kind;
        bool operator==(const Watch&) const = default;
    };

    ArmCore(Board& board, FirmwareImage image);
    bool setUp(std::string* error);
    bool loadSegments(std::string* error);
    void findExclusiveLoads();
    void rearm(size_t index) {
        if (afterExclusive_ || condition_ != nullptr || debugEveryBoundary_) {
            checkNextBoundary();  // asked at every instruction boundary
        } else {
            armStopFrom(index + 1);
        }
    }
    void resetCore();
    uint32_t pc() const;

    // --- Hooks (arm_core.cpp). ---
    void onBlock(uint32_t address, uint32_t size);
    void onInstruction(uint32_t address);
    // At an instruction boundary where something may be due: events up to now run; then the
    // harness's stop, or an exception entered in front of `address`. True when execution does
    // not go on at `address`.
    bool atBoundary(uint32_t address);
    // Leaves the block under way at the boundary in front of `address`.
    void cutAt(uint32_t address, Cycles now);
    // Ends the turn in front of `address`.
    void stopAt(Stop why, uint32_t address, Cycles now);
    // --- Debugging (arm_debug.cpp). ---
    // Whether the debugger's stop falls in front of `address`; fills debugStop_.
    bool debugStopAt(uint32_t address);
    void noteAccess(uint32_t address, unsigned size, bool write);
    void updateDebugEveryBoundary();
    bool skipsLoops() const { return exact_ || !debugEveryBoundary_; }
    void watchesChanged();  // while stopped: the memory hook fitted to the SRAM watches
    uint64_t instructionsAt(uint32_t address) const;
    static void MemoryHook(uc_struct* uc, uc_mem_type type, uint64_t address, int size,
                           int64_t value, void* self);
    uint32_t busRead(uint32_t address, unsigned size);
    void busWrite(uint32_t address, uint32_t value, unsigned size);
    void beforeAccess();
    void afterAccess();
    void sleepUntilInterrupt();

    // --- Time (arm_timing.cpp). ---
    BlockCost& costOf(uint32_t address, uint32_t size);
    // The cycle at which instruction `index` of the current block starts.
    Cycles startOf(size_t index) const { return blockStart_ + block_->before[index] + stall_; }
    size_t indexOf(uint32_t address) const {
        const uint32_t halfword = (address - blockAddress_) / 2;
        return halfword < block_->indexAt.size() ? block_->indexAt[halfword]
                                                 : block_->offsets.size() - 1;
    }
    void finishBlock(uint32_t next);
    void startBlock(uint32_t address, BlockCost& cost);
    // Arms the in-block stop at the first instruction that starts at or after the next due
    // point (an event or the deadline), from instruction `from` on.
    void armStopFrom(size_t from) {
        // Common case: the whole block runs before anything falls due.
        if (startOf(block_->offsets.size() - 1) < due_) {
            clearStop();
            return;
        }
        armStopInside(from);
    }
    void armStopInside(size_t from);
    void flush(Cycles to);
    void refreshDue();
    void checkNextBoundary() {
        stopFrom_ = 0;
        stopSpan_ = ~uint32_t{0};
    }
    void clearStop() {
        stopFrom_ = ~uint32_t{0};
        stopSpan_ = 0;
    }
    void fastForwardDelay(int reg);
    bool skipIdleLoop(uint32_t address);
    std::array<uint32_t, 17> state() const;

    // --- Exceptions (arm_exceptions.cpp). ---
    void enterException(uint32_t exception, uint32_t returnAddress);
    void returnFromException(uint32_t excReturn);
    // Continues at `target` through the stub that clears the exclusive monitor.
    void continueClearingMonitor(uint32_t target);
    // Records the fault and halts the core; the emulator stops at the next boundary.
    void fault(uint32_t address, const std::string& what);
    void halt(const std::string& why);

    // --- Profile (arm_profile.cpp). ---
    void onProbedBlock(uint32_t address);

    uint32_t reg(int id) const;
    void setReg(int id, uint32_t value);
    uint32_t word(uint32_t address);
    void putWord(uint32_t address, uint32_t value);

    static void BlockHook(uc_struct* uc, uint64_t address, uint32_t size, void* self);
    static void CodeHook(uc_struct* uc, uint64_t address, uint32_t size, void* self);
    static bool UnmappedHook(uc_struct* uc, uc_mem_type type, uint64_t address, int size, int64_t value,
                             void* self);
    static void InterruptHook(uc_struct* uc, uint32_t number, void* self);
    static uint64_t PeripheralRead(uc_struct* uc, uint64_t offset, unsigned size, void* self);
    static void PeripheralWrite(uc_struct* uc, uint64_t offset, unsigned size, uint64_t value,
                                void* self);
    static uint64_t CoreRead(uc_struct* uc, uint64_t offset, unsigned size, void* self);
    static void CoreWrite(uc_struct* uc, uint64_t offset, unsigned size, uint64_t value,
                          void* self);

    Board& board_;
    FirmwareImage image_;
    uc_struct* uc_ = nullptr;
    std::optional<StoreCheckNeeded> storeCheck_;  // while the image runs code from SRAM
    bool bootCodeLoaded_ = false;
    std::vector<uint8_t> sram_;
    Cycles accessCost_;

    bool started_ = false;
    bool halted_ = false;
    std::string haltReason_;
    std::optional<BootLoaderCall> bootLoaderCall_;
    // The current turn of the harness.
    Stop stop_ = Stop::None;
    uint32_t stoppedAt_ = 0;  // the boundary the turn stopped in front of
    Cycles deadline_ = ~Cycles{0};
    const std::function<bool()>* condition_ = nullptr;

    // Instruction boundaries the code hook looks at: address - stopFrom_ <= stopSpan_ (all of
    // them, one, or none).
    uint32_t stopFrom_ = ~uint32_t{0};
    uint32_t stopSpan_ = 0;
    uint32_t lastInstruction_ = 0;  // the instruction executing (the code hook saw it last)

    // Virtual time: the block under way started at blockStart_ and has stalled stall_ cycles on
    // the bus so far; the scheduler is told lazily, up to a point, when something needs it.
    uint64_t instructions_ = 0;
    uint64_t cycles_ = 0;
    Cycles blockStart_ = 0;
    Cycles stall_ = 0;
    Cycles busFree_ = 0;  // when the bus is free for the next access
    BlockCost* block_ = nullptr;  // the block under way, null between them
    uint32_t blockAddress_ = 0;
    size_t accessIndex_ = 0;  // the instruction of the block the last access was made in
    Picoseconds deadlinePs_ = ~Picoseconds{0};
    uint64_t deadlineRate_ = ~0ull;  // the clock rate generation deadline_ was computed at
    Cycles due_ = ~Cycles{0};  // the next event or the deadline, whichever is first
    std::unordered_map<uint64_t, BlockCost> costs_;
    // The last block seen at each of a few thousand addresses, in front of the map.
    struct CachedCost {
        uint64_t key = ~uint64_t{0};
        BlockCost* cost = nullptr;
    };
    static constexpr size_t kCostCache = 4096;
    std::vector<CachedCost> costCache_ = std::vector<CachedCost>(kCostCache);

    Mark mark_;
    uint64_t sideEffects_ = 0;  // peripheral accesses and exceptions so far
    std::vector<uint8_t> sramAtMark_;
    // The SRAM the image can use: up to the end of its zero-initialised data (the stack is in
    // it), or all of it for an image without symbols.
    uint32_t sramInUse_ = chip::kSram.size;
    uint64_t idleSkips_ = 0;

    std::array<uint64_t, 64> taken_{};
    std::function<void()> afterExclusive_;
    uint32_t previousInstruction_ = 0;  // while a test waits for an exclusive load
    void runAfterExclusive(uint32_t address);
    std::vector<uint32_t> exclusiveLoads_;
    std::function<void(const ExceptionEntry&)> exceptionListener_;

    // A bit per probed function's first address and per return address of a probed call under
    // way (by bits 1-6 of the address): most blocks are told apart by one test.
    static uint64_t ProbeBit(uint32_t address) { return uint64_t{1} << ((address >> 1) & 63); }
    void updateProbeFilter();
    uint64_t probeFilter_ = 0;
    std::unordered_map<uint32_t, std::string> probes_;
    uint32_t profiledProbe_ = 0;  // the address of the function probed first
    uint32_t profiledOpen_ = 0;   // its calls under way
    std::vector<Open> open_;
    std::vector<CallRecord> calls_;

    // --- The debugger's marks and the stop they asked for. ---
    std::vector<uint32_t> breakpoints_;
    std::vector<Watch> watches_;
    bool stepping_ = false;
    bool haltRequested_ = false;
    bool debugEveryBoundary_ = false;
    bool exact_ = false;
    std::optional<RunPosition> positionStop_;
    bool recordHits_ = false;
    RunPosition hitsBefore_;
    std::optional<DebugHit> lastHit_;
    RunPosition position_;
    RunPosition previousPosition_;
    std::optional<DebugStop> pendingWatch_;  // an access hit a watch: stop after its instruction
    // A breakpoint where the last debug stop was is not hit again until an instruction ran.
    std::optional<uint32_t> resumeFrom_;
    uint64_t resumeInstructions_ = 0;
    uint64_t resumeEntries_ = 0;
    uint64_t entries_ = 0;  // exceptions entered
    DebugStop debugStop_;
    uint64_t debugStops_ = 0;
    uc_hook memoryHook_{};
};

}  // namespace sim::arm
