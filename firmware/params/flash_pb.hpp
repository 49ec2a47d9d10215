// The flash parameter block: finds the newest valid block of a parameter area.
#pragma once

#include <cstdint>

extern const uint8_t* g_pucFlashPBStart;
extern const uint8_t* g_pucFlashPBEnd;
extern uint32_t g_ulFlashPBSize;
extern const uint8_t* g_pucFlashPBCurrent;

// Scans [start, end) in blocks of size bytes and selects the current block.
void FlashPBInit(const uint8_t* start, const uint8_t* end, uint32_t size);
// The current block in flash, or null when the area holds no valid block.
const uint8_t* FlashPBGet();

namespace flash_pb {
// Whether a block's bytes form a valid, programmed block.
bool IsValidBlock(const uint8_t* block, uint32_t size);
// Whether a block numbered candidate replaces one numbered current: it is at most 128 ahead,
// modulo 256 (so an equal number replaces too).
constexpr bool IsNewer(uint8_t candidate, uint8_t current) {
    return static_cast<uint8_t>(candidate - current) <= 128;
}
}  // namespace flash_pb
