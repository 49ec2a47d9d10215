#include "factory_calibration.hpp"

#include <optional>

#include "paramblock.hpp"
#include "touch_panel.hpp"

namespace sim {

namespace {

paramblock::Calibration FromPoints(const std::array<paramblock::Point, 3>& screen,
                                   const std::array<paramblock::Point, 3>& landscape) {
    std::array<paramblock::Point, 3> raw{};
    for (size_t i = 0; i < 3; ++i) {
        const TouchPanel::Raw r = TouchPanel::RawFor(landscape[i].x, landscape[i].y);
        raw[i] = paramblock::Point{r.x, r.y};
    }
    return paramblock::CalibrationFromPoints(screen, raw);
}

}  // namespace

std::array<int32_t, 7> MatchingLandscapeCalibration() {
    // Three reference points far apart, as a calibration screen would show them.
    const std::array<paramblock::Point, 3> points{{{16, 16}, {303, 120}, {160, 223}}};
    return FromPoints(points, points);
}

std::array<int32_t, 7> MatchingPortraitCalibration() {
    // Portrait pixel (x, y) is landscape pixel (319 - y, x): both are the same controller cell.
    const std::array<paramblock::Point, 3> portrait{{{16, 16}, {223, 160}, {120, 303}}};
    std::array<paramblock::Point, 3> landscape{};
    for (size_t i = 0; i < 3; ++i) {
        landscape[i] = paramblock::Point{319 - portrait[i].y, portrait[i].x};
    }
    return FromPoints(portrait, landscape);
}

void StoreFactoryCalibration(FlashMemory& flash) {
    paramblock::Area area = paramblock::ErasedArea();
    std::array<std::optional<paramblock::Calibration>, 4> sets;
    sets[0] = MatchingLandscapeCalibration();
    sets[1] = MatchingPortraitCalibration();
    paramblock::AppendBlock(area, sets);
    flash.load(paramblock::kAreaAddress, area);
}

}  // namespace sim
