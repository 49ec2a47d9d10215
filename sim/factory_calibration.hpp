// The touch calibration a panel leaves the factory with: the coefficients that match the touch
// panel model, and the parameter area that holds them.
#pragma once

#include <array>
#include <cstdint>

#include "flash.hpp"

namespace sim {

// The landscape calibration (set 0) that matches the touch panel model, computed from its
// readings at three reference points; and the portrait one (set 1).
std::array<int32_t, 7> MatchingLandscapeCalibration();
std::array<int32_t, 7> MatchingPortraitCalibration();

// Writes the parameter area with both calibrations into flash, as the factory leaves it.
void StoreFactoryCalibration(FlashMemory& flash);

}  // namespace sim
