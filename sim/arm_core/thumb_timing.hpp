// Estimated Cortex-M3 execution time of Thumb code, from the processor's published cycle counts.
// Every figure the emulated core reports as "cycles" comes from this one table.
#pragma once

#include <cstdint>

namespace sim::arm {

// Cycles per instruction class. Where the processor's count depends on what happens at run time
// (a conditional branch taken or not, an early-terminating divide, the pipeline refill after a
// branch, which is 1 to 3 cycles), the table fixes one value: the estimate is an estimate.
struct CycleTable {
    static constexpr uint32_t kDataProcessing = 1;  // ALU, moves, shifts, compares, IT, hints
    static constexpr uint32_t kRefill = 1;          // pipeline refill after a taken branch (P)
    static constexpr uint32_t kBranch = 1 + kRefill;          // B, BL, BX, CBZ: taken assumed
    static constexpr uint32_t kLoadStore = 2;                 // LDR/STR of any width
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
    uint32_t cycles = 1;
    bool waitForInterrupt = false;
};

// Length and estimated cycles of the Thumb instruction whose halfwords are first and second
// (second is ignored for 16-bit instructions).
Decoded DecodeTiming(uint16_t first, uint16_t second);

}  // namespace sim::arm
