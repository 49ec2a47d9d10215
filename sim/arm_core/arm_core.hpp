// The real firmware image on the simulated board: an emulated Cortex-M3 (Unicorn executes the
// Thumb-2 instructions) wired to the same board models the host-compiled firmware uses.
//
// Unicorn gives instruction execution, flat memory and hooks. What the processor does around the
// instructions is ours, on top: exception entry from the board's NVIC and SysTick with the
// eight-word frame, the handler from the vector table at VTOR, EXC_RETURN, PRIMASK and priority
// preemption; peripheral loads and stores through the board's bus decoder; an instruction count
// and an estimated cycle count (thumb_timing.hpp) that advance virtual time; the delay loop run
// in one step.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <unicorn/unicorn.h>

#include "board.hpp"
#include "firmware_image.hpp"

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

class ArmCore {
  public:
    // Loads the image into the board's flash and SRAM and makes the board run it; nothing (and
    // the reason) when the file cannot be used.
    static std::unique_ptr<ArmCore> Attach(Board& board, const std::string& path,
                                           std::string* error);
    // The same with an image already read.
    static std::unique_ptr<ArmCore> Attach(Board& board, FirmwareImage image, std::string* error);
    // The core attached in this process, if any.
    static ArmCore* active();

    ~ArmCore();
    ArmCore(const ArmCore&) = delete;
    ArmCore& operator=(const ArmCore&) = delete;

    const FirmwareImage& image() const { return image_; }
    uint64_t instructions() const { return instructions_; }
    uint64_t cycles() const { return cycles_; }
    uint64_t exceptionsTaken(uint32_t exception) const { return taken_.at(exception); }
    bool primask() const;
    // Idle loop turns the core skipped instead of executing them one by one.
    uint64_t idleSkips() const { return idleSkips_; }

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
    struct FunctionCost {
        std::string function;
        uint64_t instructions = 0;
        uint64_t cycles = 0;
        uint64_t probedInstructions = 0;
        uint64_t probedCycles = 0;
        uint64_t calls = 0;  // runs of its first block (a loop back to it would count too)
        uint64_t probedCalls = 0;
    };
    std::vector<FunctionCost> takeProfile();

  private:
    struct BlockCost {
        uint32_t instructions = 0;
        uint32_t cycles = 0;
        uint32_t takenExtra = 0;  // cycles its final conditional branch costs more when taken
        uint32_t end = 0;         // the address after it: where a branch not taken goes
        int delayRegister = -1;  // the block is "subs rN, #1; bne <itself>"
        uint64_t runs = 0;       // since the last profile was taken
        uint64_t probedRuns = 0;  // of them inside a probed function's call
        uint64_t takenRuns = 0;   // runs that ended in a taken conditional branch
        uint64_t probedTakenRuns = 0;
    };
    struct Open {
        uint32_t returnAddress;
        uint32_t stack;
        CallRecord record;
        uint64_t cycles0;
        bool profiled;  // a call of the function probed first
    };

    ArmCore(Board& board, FirmwareImage image);
    bool setUp(std::string* error);
    void run();
    void resetCore();
    void onBlock(uint32_t address, uint32_t size);
    BlockCost& costOf(uint32_t address, uint32_t size);
    void charge(uint64_t cycles);
    void flush();
    bool skipIdleLoop(uint32_t address);
    std::array<uint32_t, 17> state() const;
    void fastForwardDelay(int reg);
    // Highest-priority exception that may preempt now, or 0.
    uint32_t takeable() const;
    int priorityOf(uint32_t exception) const;
    void enterException(uint32_t exception);
    void returnFromException(uint32_t excReturn);
    [[noreturn]] void fault(uint32_t address, const std::string& what);
    uint32_t reg(int id) const;
    void setReg(int id, uint32_t value);
    uint32_t word(uint32_t address);
    void putWord(uint32_t address, uint32_t value);

    static void BlockHook(uc_struct* uc, uint64_t address, uint32_t size, void* self);
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
    bool bootCodeLoaded_ = false;
    std::vector<uint8_t> sram_;

    uint64_t instructions_ = 0;
    uint64_t cycles_ = 0;
    uint64_t accessCredit_ = 0;  // bus access cycles the board charged inside the last block
    uint64_t lastCharge_ = 0;    // the cycles charged for the last block's instructions
    uint64_t overlap_ = 0;       // overlapped cycles not yet handed back
    uint64_t unflushed_ = 0;     // cycles the board has not been told of yet
    Cycles flushAt_ = 0;         // when they must be: the next event or the harness's deadline
    Picoseconds deadlinePs_ = ~Picoseconds{0};
    uint32_t deadlineClockHz_ = 0;
    Cycles deadlineCycle_ = ~Cycles{0};
    std::unordered_map<uint64_t, BlockCost> costs_;
    uint32_t stopBlock_ = 0;  // a block the hook stopped in front of
    BlockCost* previous_ = nullptr;  // the block executed last, for its final branch
    bool stopRequested_ = false;
    std::string pendingFault_;
    uint32_t pendingFaultAddress_ = 0;

    // Idle loops: the core coming back to the same block with the same registers and memory,
    // having touched no peripheral and taken no exception, can only go round until an event.
    struct Mark {
        uint32_t address = 0;
        std::array<uint32_t, 17> registers{};
        uint64_t instructions = 0;
        uint64_t cycles = 0;
        uint64_t sideEffects = 0;
        uint32_t blocks = 0;  // since the core was last at the marked block
        int stage = 0;        // 0: nothing saved, 1: registers saved, 2: memory saved too
    };
    Mark mark_;
    uint64_t sideEffects_ = 0;  // peripheral accesses and exceptions so far
    std::vector<uint8_t> sramAtMark_;
    uint64_t idleSkips_ = 0;

    std::vector<uint32_t> active_;  // exceptions being handled, innermost last
    std::array<uint64_t, 64> taken_{};

    std::unordered_map<uint32_t, std::string> probes_;
    uint32_t profiledProbe_ = 0;  // the address of the function probed first
    uint32_t profiledOpen_ = 0;   // its calls under way
    std::vector<Open> open_;
    std::vector<CallRecord> calls_;
};

}  // namespace sim::arm
