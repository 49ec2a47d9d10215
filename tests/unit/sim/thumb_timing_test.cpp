// The emulated core's cycle estimate for a block: encodings as the assembler makes them.
#include <gtest/gtest.h>

#include <vector>

#include "thumb_timing.hpp"

namespace {

struct Block {
    const char* what;
    std::vector<uint16_t> halfwords;
    uint32_t instructions;
    uint32_t cycles;      // the final conditional branch falling through
    uint32_t takenExtra;  // what it costs more when taken
};

const Block kBlocks[] = {
    {"str r0, [r1, #8]", {0x6088}, 1, 1, 0},
    {"ldr r0, [r1]; ldr r2, [r1, #4]: the second pipelines", {0x6808, 0x684A}, 2, 3, 0},
    {"str r0, [r1, #8]; ldr r0, [r1]: a load after a store pipelines", {0x6088, 0x6808}, 2, 2, 0},
    {"str r0, [r1, r2]: a register offset takes two", {0x5088}, 1, 2, 0},
    {"ldr r3, [r1, r2]", {0x588B}, 1, 2, 0},
    {"str.w r0, [r1, #1020]", {0xF8C1, 0x03FC}, 1, 1, 0},
    {"ldrh.w r4, [r5], #2", {0xF835, 0x4B02}, 1, 2, 0},
    {"push {r4, r5, lr}", {0xB530}, 1, 4, 0},
    {"subs r0, #1; bne <itself>: three cycles a turn taken", {0x3801, 0xD1FD}, 2, 2, 1},
    {"cbz r0, <ahead>", {0xB108}, 1, 1, 1},
    {"beq.w <back>", {0xF43F, 0xAFF1}, 1, 1, 1},
    {"bne; nop: a branch inside a block is counted taken", {0xD1FD, 0xBF00}, 2, 3, 0},
};

TEST(ThumbTiming, BlocksCostWhatTheTableSays) {
    for (const Block& b : kBlocks) {
        std::vector<uint16_t> words = b.halfwords;
        const auto bytes = static_cast<uint32_t>(words.size() * 2);
        words.push_back(0);  // the decoder may look one halfword ahead
        const sim::arm::BlockTiming t = sim::arm::TimeBlock(words.data(), bytes);
        EXPECT_EQ(t.instructions, b.instructions) << b.what;
        EXPECT_EQ(t.cycles, b.cycles) << b.what;
        EXPECT_EQ(t.takenExtra, b.takenExtra) << b.what;
    }
}

}  // namespace
