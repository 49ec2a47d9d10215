#include "display/hmi_Init.hpp"

#include <cstring>

#include "display/FoxLink240x320x16_HX8347A.hpp"
#include "display/FoxLink320x240x16_HX8347A.hpp"
#include "graphics/image.hpp"
#include "params/params.hpp"

DisplayDriver g_sDisplayDriverROM = {};
void (*hmi_BacklightOn)() = nullptr;
void (*hmi_BacklightOff)() = nullptr;

namespace {

// Touch calibration sets stored for the two orientations.
constexpr uint32_t kPortraitCalibration = 1;
constexpr uint32_t kLandscapeCalibration = 0;

struct Orientation {
    void (*init)();
    const DisplayDriver* table;
    void (*backlightOn)();
    void (*backlightOff)();
    uint32_t calibrationSet;
};

constexpr Orientation kPortrait{FoxLink240x320x16_HX8347A_Init, &g_sFoxLink240x320x16_HX8347A,
                                FoxLink240x320x16_HX8347A_BacklightOn,
                                FoxLink240x320x16_HX8347A_BacklightOff, kPortraitCalibration};
constexpr Orientation kLandscape{FoxLink320x240x16_HX8347A_Init, &g_sFoxLink320x240x16_HX8347A,
                                 FoxLink320x240x16_HX8347A_BacklightOn,
                                 FoxLink320x240x16_HX8347A_BacklightOff, kLandscapeCalibration};

void Start(const Orientation& o) {
    o.init();
    std::memcpy(&g_sDisplayDriverROM, o.table, sizeof(g_sDisplayDriverROM));
    o.backlightOn();
    (void)LoadTouchScreenParam(o.calibrationSet);  // without a stored set touches stay uncalibrated
    hmi_BacklightOn = o.backlightOn;
    hmi_BacklightOff = o.backlightOff;
}

}  // namespace

void hmi_Init(uint32_t orientation) {
    hmi_Display_Init(orientation);
}

void hmi_Display_Init(uint32_t orientation) {
    switch (orientation) {
        case 0:
        case 2:
            Start(kPortrait);
            break;
        case 1:
        case 3:
            Start(kLandscape);
            break;
        default:
            break;  // no driver: nothing may draw
    }
    // Screen code draws its pictures through this entry point; it is valid from here on.
    hmi_DrawImage = GrImageDraw;
}

void hmi_BacklightSet(uint32_t level) {
    // Interrupt code may call this before start-up has chosen a driver.
    if (hmi_BacklightOn == nullptr || hmi_BacklightOff == nullptr) {
        return;
    }
    if (level != 0) {
        hmi_BacklightOn();
    } else {
        hmi_BacklightOff();
    }
}
