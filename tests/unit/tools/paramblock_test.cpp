// The parameter-area writer: valid blocks, sequence numbers and slots, the calibration solver
// and its match with the simulated touch panel.
#include <gtest/gtest.h>

#include <numeric>

#include "factory_calibration.hpp"
#include "panel_models.hpp"
#include "paramblock.hpp"

namespace {

using paramblock::Calibration;

std::array<std::optional<Calibration>, 4> Set(uint32_t set, const Calibration& c) {
    std::array<std::optional<Calibration>, 4> sets;
    sets[set] = c;
    return sets;
}

TEST(ParamBlock, BlocksAreBalancedAndCarryTheirRecords) {
    const Calibration c{-1, 2, -3, 4, -5, 6, 0x7FFFFFFF};
    for (uint32_t set = 0; set < 4; ++set) {
        const paramblock::Block block = paramblock::MakeBlock(200, Set(set, c));
        EXPECT_EQ(std::accumulate(block.begin(), block.end(), 0u) % 256, 0u);
        EXPECT_TRUE(paramblock::IsValid(block.data()));
        EXPECT_EQ(block[0], 200);
        for (uint32_t other = 0; other < 4; ++other) {
            EXPECT_EQ(paramblock::CalibrationOf(block.data(), other).has_value(), other == set);
        }
        EXPECT_EQ(*paramblock::CalibrationOf(block.data(), set), c);
    }
    EXPECT_EQ(paramblock::CalibrationOffset(0), 36u);
    EXPECT_EQ(paramblock::CalibrationOffset(1), 4u);
    EXPECT_EQ(paramblock::CalibrationOffset(2), 100u);
    EXPECT_EQ(paramblock::CalibrationOffset(3), 68u);
}

TEST(ParamBlock, AppendingNumbersBlocksOnAndNeverErasesTheCurrentOne) {
    paramblock::Area area = paramblock::ErasedArea();
    for (int i = 0; i < 20; ++i) {
        const uint32_t slot =
            paramblock::AppendBlock(area, Set(0, Calibration{i, 0, 0, 0, 0, 0, 1}));
        EXPECT_EQ(paramblock::CurrentSlot(area), slot);
        EXPECT_EQ(area[slot * 512], i) << "sequence numbers count up";
        EXPECT_EQ((*paramblock::CalibrationOf(area.data() + slot * 512, 0))[0], i);
    }
    // Sequence numbers wrap modulo 256 and the newest block stays current.
    paramblock::Area wrapped = paramblock::ErasedArea();
    paramblock::AppendBlock(wrapped, {}, 254);
    paramblock::AppendBlock(wrapped, {});
    const uint32_t last = paramblock::AppendBlock(wrapped, {});
    EXPECT_EQ(wrapped[last * 512], 0);
    EXPECT_EQ(paramblock::CurrentSlot(wrapped), last);
}

TEST(ParamBlock, PlacingRefusesUsedAndMissingSlots) {
    paramblock::Area area = paramblock::ErasedArea();
    paramblock::PlaceBlock(area, 4, paramblock::MakeBlock(1, {}));
    EXPECT_THROW(paramblock::PlaceBlock(area, 4, paramblock::MakeBlock(2, {})), paramblock::Error);
    EXPECT_THROW(paramblock::PlaceBlock(area, 6, paramblock::MakeBlock(2, {})), paramblock::Error);
    paramblock::Area shortArea(100, 0xFF);
    EXPECT_THROW(paramblock::CurrentSlot(shortArea), paramblock::Error);
}

TEST(ParamBlock, ThreePointCalibrationMapsItsReferencePointsExactly) {
    const std::array<paramblock::Point, 3> screen{{{20, 20}, {300, 40}, {160, 220}}};
    const std::array<paramblock::Point, 3> raw{{{200, 800}, {850, 760}, {520, 190}}};
    const Calibration c = paramblock::CalibrationFromPoints(screen, raw);
    for (size_t i = 0; i < 3; ++i) {
        const paramblock::Point p = paramblock::Apply(c, raw[i]);
        EXPECT_EQ(p.x, screen[i].x);
        EXPECT_EQ(p.y, screen[i].y);
    }
    const std::array<paramblock::Point, 3> line{{{0, 0}, {1, 1}, {2, 2}}};
    EXPECT_THROW(paramblock::CalibrationFromPoints(screen, line), paramblock::Error);
}

TEST(ParamBlock, TheSimulatorsCalibrationMatchesItsTouchPanelWithinOnePixel) {
    const Calibration c = sim::MatchingLandscapeCalibration();
    for (int y = 0; y < 240; y += 7) {
        for (int x = 0; x < 320; x += 7) {
            const sim::TouchPanel::Raw r = sim::TouchPanel::RawFor(x, y);
            EXPECT_GT(r.x, 99);
            EXPECT_GT(r.y, 99);
            const paramblock::Point p = paramblock::Apply(c, paramblock::Point{r.x, r.y});
            EXPECT_LE(std::abs(p.x - x), 1) << x << "," << y;
            EXPECT_LE(std::abs(p.y - y), 1) << x << "," << y;
        }
    }
    // Portrait (x, y) is landscape (319 - y, x).
    const Calibration portrait = sim::MatchingPortraitCalibration();
    const sim::TouchPanel::Raw r = sim::TouchPanel::RawFor(319 - 300, 100);
    const paramblock::Point p = paramblock::Apply(portrait, paramblock::Point{r.x, r.y});
    EXPECT_LE(std::abs(p.x - 100), 1);
    EXPECT_LE(std::abs(p.y - 300), 1);
}

}  // namespace
