#include "params/params.hpp"

#include <cstring>

#include "input/touch.hpp"
#include "params/flash_pb.hpp"
#include "platform_hwreg.hpp"

uint32_t bInit = 0;
ParameterBlock g_sParameters = {};

void ParamInit() {
    if (bInit != 0) {
        return;
    }
    bInit = 1;
    const uint8_t* area = platform::FlashBytes(params::kAreaStart);
    FlashPBInit(area, area + params::kAreaSize, params::kBlockSize);
    std::memset(&g_sParameters, 0, sizeof(g_sParameters));
    g_sParameters.unused2 = 1;
    ParamLoad();
}

void ParamLoad() {
    ParamInit();
    const uint8_t* block = FlashPBGet();
    if (block != nullptr) {
        std::memcpy(&g_sParameters, block, sizeof(g_sParameters));
    }
}

uint32_t LoadTouchScreenParam(uint32_t set) {
    ParamLoad();
    if (set > 3) {
        return 0;
    }
    const CalibrationRecord& record = g_sParameters.calibration[set ^ 1u];
    if (record.marker != params::kCalibrationMarker) {
        return 0;
    }
    const int32_t* m = record.coefficients;
    TouchScreenSetParam(m[0], m[1], m[2], m[3], m[4], m[5], m[6]);
    return 1;
}
