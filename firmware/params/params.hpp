// Panel parameters: a RAM image of the current flash parameter block, and the stored touch
// calibration handed to the touch driver.
#pragma once

#include <cstdint>

#include "chip_facts.h"
#include "graphics/context.hpp"

// A calibration record: the marker, then the touch coefficients M0 ... M6.
struct CalibrationRecord {
    uint32_t marker;
    int32_t coefficients[7];
};

// The 512-byte parameter block (little-endian). The record of calibration set s is
// calibration[s ^ 1]: the odd set comes first in each pair.
struct ParameterBlock {
    uint8_t sequence;
    uint8_t unused1;
    uint8_t unused2;  // 1 in the default image
    uint8_t unused3;
    CalibrationRecord calibration[4];
    uint8_t unused[380];
};

static_assert(sizeof(CalibrationRecord) == 32);
static_assert(sizeof(ParameterBlock) == 512);

namespace params {
constexpr uint32_t kCalibrationMarker = 0x19840312;
constexpr uint32_t kAreaStart = CHIP_PARAM_BASE;
constexpr uint32_t kAreaSize = CHIP_PARAM_SIZE;  // six blocks up to the end of flash
constexpr uint32_t kBlockSize = sizeof(ParameterBlock);
}  // namespace params

extern uint32_t bInit;
extern ParameterBlock g_sParameters;

void ParamInit();
void ParamLoad();
// Hands calibration set 0-3 to the touch driver: 1 if it was stored, 0 otherwise.
uint32_t LoadTouchScreenParam(uint32_t set);
