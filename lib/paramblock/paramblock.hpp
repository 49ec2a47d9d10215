// Flash parameter areas: six 512-byte blocks at the top of flash, of which the newest valid one
// counts. Builds valid blocks and calibration records, places them in an area image, and reads
// an area back the way the firmware selects its block.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "chip.hpp"

namespace paramblock {

constexpr uint32_t kAreaAddress = chip::kParameterArea.base;
constexpr uint32_t kBlockSize = chip::kParameterPageSize;
constexpr uint32_t kBlocks = chip::kParameterPages;
constexpr uint32_t kAreaSize = chip::kParameterArea.size;
constexpr uint32_t kPageSize = chip::kFlashPageSize;  // the flash's erase unit: two blocks
constexpr uint32_t kFlashSize = chip::kFlash.size;
constexpr uint32_t kCalibrationMarker = 0x19840312;
constexpr uint32_t kBalanceOffset = kBlockSize - 1;  // the byte that balances the sum

// The seven touch coefficients: screen x = (M0 X + M1 Y + M2) / M6, y = (M3 X + M4 Y + M5) / M6.
using Calibration = std::array<int32_t, 7>;
using Block = std::array<uint8_t, kBlockSize>;
using Area = std::vector<uint8_t>;

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Offset in a block of calibration set 0-3's record (the odd set first in each pair).
constexpr uint32_t CalibrationOffset(uint32_t set) {
    return 4 + 32 * (set ^ 1u);
}

// A valid block: the sequence number, the given calibration sets, zeros elsewhere, and the last
// byte balancing the byte sum to a multiple of 256.
Block MakeBlock(uint8_t sequence, const std::array<std::optional<Calibration>, 4>& sets);

bool IsErased(const uint8_t* block);
bool IsValid(const uint8_t* block);
std::optional<Calibration> CalibrationOf(const uint8_t* block, uint32_t set);

// An erased area (all 0xFF).
Area ErasedArea();
// The area's slot the firmware would select, if any.
std::optional<uint32_t> CurrentSlot(const Area& area);
// Writes a block into the given slot (0-5), which must be erased.
void PlaceBlock(Area& area, uint32_t slot, const Block& block);
// Saves a new block as a writer does: the next sequence number after the current block (0 in an
// empty area), in the first erased slot after the current one; when none is erased, the 1 KB
// page after the current block's page (or the first page, without a current block) is erased
// first. Returns the slot used.
uint32_t AppendBlock(Area& area, const std::array<std::optional<Calibration>, 4>& sets,
                     std::optional<uint8_t> sequence = std::nullopt);

// Coefficients of the affine map through three reference points: screen points s[i] and the raw
// readings r[i] taken there (points must not be collinear).
struct Point {
    int32_t x;
    int32_t y;
};
Calibration CalibrationFromPoints(const std::array<Point, 3>& screen,
                                  const std::array<Point, 3>& raw);
// The screen point the firmware computes from a raw reading (32-bit, truncating division).
Point Apply(const Calibration& c, Point raw);

// A readable summary of an area: the slots, which one the firmware selects, its calibrations.
std::string Describe(const Area& area);

}  // namespace paramblock
