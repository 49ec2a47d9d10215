// Estimated Cortex-M3 execution time of Thumb code, from the processor's published cycle counts.
// Every figure the emulated core reports as "cycles" comes from this one table.
#pragma once

#include <cstdint>
#include <vector>

namespace sim::arm {

// Cycles per instruction class, on a bus without wait states. Where the processor's count depends
// on what happens at run time (an early-terminating divide, the pipeline refill after a branch,
// which is 1 to 3 cycles), the table fixes one value: the estimate is an estimate. A refill of
// 1 is what makes the delay loop ("subs; bne") the three cycles a turn it is known to take.
struct CycleTable {
    static constexpr uint32_t kDataProcessing = 1;  // ALU, moves, shifts, compares, IT, hints
    static constexpr uint32_t kRefill = 1;          // pipeline refill after a taken branch (P)
    static constexpr uint32_t kBranch = 1 + kRefill;          // B, BL, BX, CBZ taken
    static constexpr uint32_t kBranchNotTaken = 1;            // a conditional branch falling through
    static constexpr uint32_t kLoadStore = 2;                 // LDR; STR with a register offset
    // A store with an immediate offset: its data phase overlaps the next instruction. A load
    // right after another single load or store pipelines its address phase: one cycle too.
    static constexpr uint32_t kStoreImmediate = 1;
    static constexpr uint32_t kLoadPipelined = 1;
    static constexpr uint32_t kLoadStoreDouble = 3;           // LDRD/STRD: 1 + N, N = 2
    static constexpr uint32_t kMultipleBase = 1;              // LDM/STM/PUSH/POP: 1 + N
    static constexpr uint32_t kTableBranch = 2 + kRefill;     // TBB/TBH
    static constexpr uint32_t kMultiply = 1;                  // MUL
    static constexpr uint32_t kMultiplyAccumulate = 2;        // MLA, MLS
    static constexpr uint32_t kLongMultiply = 5;              // UMULL and kin: 3 to 7
    static constexpr uint32_t kDivide = 7;                    // SDIV/UDIV: 2 to 12
    static constexpr uint32_t kExceptionEntry = 12;           // stacking and vector fetch
    static constexpr uint32_t kExceptionReturn = 10;          // unstacking
};

struct Decoded {
    uint32_t length = 2;  // bytes
    uint32_t cycles = 1;  // a conditional branch as taken; a load as not pipelined
    bool waitForInterrupt = false;
    bool conditionalBranch = false;  // B<cond>, CBZ, CBNZ
    bool singleLoad = false;         // LDR of any width, not LDM/POP
    bool singleStore = false;        // STR of any width, not STM/PUSH
};

// Length and estimated cycles of the Thumb instruction whose halfwords are first and second
// (second is ignored for 16-bit instructions).
Decoded DecodeTiming(uint16_t first, uint16_t second);

// A straight run of instructions (a translated block): its instructions, its cycles with loads
// pipelined behind single loads and stores, and a final conditional branch counted as falling
// through; takenExtra is what that branch costs more when it is taken (0 when the block does not
// end in one).
struct BlockTiming {
    uint32_t instructions = 0;
    uint32_t cycles = 0;
    uint32_t takenExtra = 0;
};
BlockTiming TimeBlock(const uint16_t* halfwords, uint32_t bytes);

// The same block instruction by instruction: where each starts, the cycles it is charged (as
// TimeBlock charges them), and whether it is one of the conditional instructions an IT
// instruction governs (the processor's interrupts are taken only outside them here).
struct InstructionTiming {
    uint16_t offset;
    uint16_t cycles;
    bool inItBlock;
};
std::vector<InstructionTiming> TimeInstructions(const uint16_t* halfwords, uint32_t bytes);

}  // namespace sim::arm
