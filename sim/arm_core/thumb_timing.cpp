#include "thumb_timing.hpp"

namespace sim::arm {

namespace {

using T = CycleTable;

uint32_t Count(uint32_t registers) {
    return static_cast<uint32_t>(__builtin_popcount(registers));
}

Decoded Narrow(uint16_t op) {
    Decoded d;
    d.length = 2;
    d.cycles = T::kDataProcessing;
    if ((op & 0xFF00) == 0x4700) {
        d.cycles = T::kBranch;  // BX, BLX register
    } else if ((op & 0xFF00) == 0x4600 || (op & 0xFF00) == 0x4400) {
        if ((op & 0x0087) == 0x0087) {
            d.cycles = T::kBranch;  // MOV/ADD with PC as destination
        }
    } else if ((op & 0xF800) == 0x4800) {
        d.cycles = T::kLoadStore;  // LDR literal
        d.singleLoad = true;
    } else if ((op & 0xF000) == 0x5000) {
        // Register offset: opcodes 0-2 store, 3-7 load.
        const bool load = ((op >> 9) & 7u) >= 3;
        d.cycles = T::kLoadStore;
        d.singleLoad = load;
        d.singleStore = !load;
    } else if ((op & 0xE000) == 0x6000 || (op & 0xF000) == 0x8000 || (op & 0xF000) == 0x9000) {
        const bool load = (op & 0x0800) != 0;
        d.cycles = load ? T::kLoadStore : T::kStoreImmediate;
        d.singleLoad = load;
        d.singleStore = !load;
    } else if ((op & 0xFE00) == 0xB400) {
        d.cycles = T::kMultipleBase + Count(op & 0x1FF);  // PUSH
    } else if ((op & 0xFE00) == 0xBC00) {
        d.cycles = T::kMultipleBase + Count(op & 0x1FF) + ((op & 0x100) ? T::kRefill : 0);  // POP
    } else if ((op & 0xF000) == 0xC000) {
        d.cycles = T::kMultipleBase + Count(op & 0xFF);  // LDM/STM
    } else if ((op & 0xF500) == 0xB100) {
        d.cycles = T::kBranch;  // CBZ/CBNZ
        d.conditionalBranch = true;
    } else if ((op & 0xF000) == 0xD000 && (op & 0x0F00) < 0x0E00) {
        d.cycles = T::kBranch;  // conditional branch
        d.conditionalBranch = true;
    } else if ((op & 0xF800) == 0xE000) {
        d.cycles = T::kBranch;
    } else if (op == 0xBF30) {
        d.waitForInterrupt = true;
    }
    return d;
}

Decoded Wide(uint16_t first, uint16_t second) {
    Decoded d;
    d.length = 4;
    d.cycles = T::kDataProcessing;
    if ((first & 0xF800) == 0xF000 && (second & 0x8000) != 0) {
        // Branches and miscellaneous control; the control ones (MSR, MRS, barriers) take one.
        const bool branch = (second & 0x5000) != 0 || (first & 0x0380) != 0x0380;
        d.cycles = branch ? T::kBranch : T::kDataProcessing;
        d.conditionalBranch = (second & 0x5000) == 0 && (first & 0x0380) != 0x0380;
    } else if ((first & 0xFE00) == 0xE800) {
        const uint32_t op = (first >> 7) & 3u;
        if ((first & 0x0040) == 0 && (op == 1 || op == 2)) {
            const bool loadsPc = (first & 0x0010) != 0 && (second & 0x8000) != 0;
            d.cycles = T::kMultipleBase + Count(second) + (loadsPc ? T::kRefill : 0);
        } else if ((first & 0xFFF0) == 0xE8D0 && (second & 0xFFE0) == 0xF000) {
            d.cycles = T::kTableBranch;
        } else if ((first & 0xFFE0) == 0xE840 || (first & 0xFFF0) == 0xE8C0 ||
                   (first & 0xFFF0) == 0xE8D0) {
            d.cycles = T::kLoadStore;  // exclusives
        } else {
            d.cycles = T::kLoadStoreDouble;
        }
    } else if ((first & 0xFE00) == 0xF800) {
        const bool load = (first & 0x0010) != 0;
        const bool loadsPc = load && (second & 0xF000) == 0xF000;
        // Register offset: no immediate (bit 7 clear) and bits 11-6 of the second halfword clear.
        const bool registerOffset = (first & 0x0080) == 0 && (second & 0x0FC0) == 0;
        d.cycles = load || registerOffset ? T::kLoadStore : T::kStoreImmediate;
        d.cycles += loadsPc ? T::kRefill : 0;
        d.singleLoad = load && !loadsPc;
        d.singleStore = !load;
    } else if ((first & 0xFF80) == 0xFB80) {
        const uint32_t op = (first >> 4) & 7u;
        d.cycles = (op == 1 || op == 3) ? T::kDivide : T::kLongMultiply;
    } else if ((first & 0xFF80) == 0xFB00) {
        d.cycles = (second & 0xF000) == 0xF000 ? T::kMultiply : T::kMultiplyAccumulate;
    }
    return d;
}

}  // namespace

Decoded DecodeTiming(uint16_t first, uint16_t second) {
    const uint16_t top = first >> 11;
    if (top == 0x1D || top == 0x1E || top == 0x1F) {
        return Wide(first, second);
    }
    return Narrow(first);
}

std::vector<InstructionTiming> TimeInstructions(const uint16_t* halfwords, uint32_t bytes) {
    std::vector<InstructionTiming> timing;
    bool afterLoadStore = false;
    uint32_t itRemaining = 0;
    for (uint32_t at = 0; at * 2 < bytes;) {
        const Decoded d = DecodeTiming(halfwords[at], halfwords[at + 1]);
        uint32_t cycles = d.cycles;
        if (d.singleLoad && afterLoadStore) {
            cycles = T::kLoadPipelined;
        }
        if (d.conditionalBranch && (at + d.length / 2) * 2 >= bytes) {
            cycles = T::kBranchNotTaken;
        }
        timing.push_back(InstructionTiming{static_cast<uint16_t>(at * 2),
                                           static_cast<uint16_t>(cycles), itRemaining != 0});
        itRemaining -= itRemaining != 0 ? 1 : 0;
        // IT: the mask's bits below its lowest set one count the instructions it governs.
        if (d.length == 2 && (halfwords[at] & 0xFF00) == 0xBF00 && (halfwords[at] & 0x000F) != 0) {
            itRemaining = 4 - static_cast<uint32_t>(__builtin_ctz(halfwords[at] & 0x000F));
        }
        afterLoadStore = d.singleLoad || d.singleStore;
        at += d.length / 2;
    }
    return timing;
}

BlockTiming TimeBlock(const uint16_t* halfwords, uint32_t bytes) {
    BlockTiming t;
    const std::vector<InstructionTiming> timing = TimeInstructions(halfwords, bytes);
    for (const InstructionTiming& instruction : timing) {
        ++t.instructions;
        t.cycles += instruction.cycles;
    }
    if (!timing.empty()) {
        const InstructionTiming& last = timing.back();
        const uint32_t at = last.offset / 2u;
        const Decoded d = DecodeTiming(halfwords[at], halfwords[at + 1]);
        if (d.conditionalBranch) {
            t.takenExtra = d.cycles - T::kBranchNotTaken;
        }
    }
    return t;
}

}  // namespace sim::arm
