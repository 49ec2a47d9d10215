// The parameter block reader: selection among the area's blocks, the RAM image, and the touch
// calibration it hands over. Areas are written with the project's parameter-block writer.
#include <gtest/gtest.h>

#include <cstring>

#include "factory_calibration.hpp"
#include "input/touch.hpp"
#include "panel_models.hpp"
#include "paramblock.hpp"
#include "params/flash_pb.hpp"
#include "params/params.hpp"
#include "support/fresh_board.hpp"

namespace {

using paramblock::Calibration;

constexpr Calibration kSet0{11, -12, 13, -14, 15, -16, 17};
constexpr Calibration kSet3{31, 32, 33, 34, 35, 36, 37};

// Blocks numbered as given, in slots 0, 1, ...; each block's calibration set 0 holds its number
// in M2, so that the selected block can be recognised.
paramblock::Area AreaWith(std::initializer_list<int> sequences) {
    paramblock::Area area = paramblock::ErasedArea();
    uint32_t slot = 0;
    for (const int sequence : sequences) {
        if (sequence >= 0) {
            std::array<std::optional<Calibration>, 4> sets;
            sets[0] = Calibration{1, 0, sequence, 0, 1, 0, 1};
            paramblock::PlaceBlock(area, slot,
                                   paramblock::MakeBlock(static_cast<uint8_t>(sequence), sets));
        }
        ++slot;
    }
    return area;
}

const uint8_t* Flash(sim::Board& board, const paramblock::Area& area) {
    board.flash().load(paramblock::kAreaAddress, area);
    return board.flash().bytes() + paramblock::kAreaAddress;
}

// Slot of the block FlashPBInit selects over the whole area, or -1.
int Selected(const paramblock::Area& area) {
    sim::BoardConfig config;
    config.panel.touchCalibrationStored = false;
    sim::Board& board = FreshBoard(config);
    const uint8_t* start = Flash(board, area);
    FlashPBInit(start, start + paramblock::kAreaSize, paramblock::kBlockSize);
    EXPECT_EQ(g_pucFlashPBStart, start);
    EXPECT_EQ(g_ulFlashPBSize, 512u);
    const uint8_t* current = FlashPBGet();
    return current == nullptr ? -1 : static_cast<int>((current - start) / 512);
}

TEST(FlashPB, SelectsTheNewestValidBlockModulo256) {
    EXPECT_EQ(Selected(AreaWith({5, 6, 7})), 2);
    EXPECT_EQ(Selected(AreaWith({7, -1, 5, 6})), 0);
    EXPECT_EQ(Selected(AreaWith({250, 255, 0, 3})), 3) << "wrap-around";
    EXPECT_EQ(Selected(AreaWith({0, 3, 250, 255})), 1);
    EXPECT_EQ(Selected(AreaWith({9, 9})), 1) << "equal numbers: the later one";
    EXPECT_EQ(Selected(AreaWith({0, 128})), 1) << "128 apart: the later one";
    EXPECT_EQ(Selected(AreaWith({128, 0})), 1);
    EXPECT_EQ(Selected(AreaWith({0, 129})), 0) << "129 ahead is behind";
    EXPECT_EQ(Selected(AreaWith({-1, -1, -1, -1, -1, 42})), 5);
    EXPECT_EQ(Selected(paramblock::ErasedArea()), -1);
}

TEST(FlashPB, ABlockWithABadByteSumIsIgnoredWhole) {
    paramblock::Area area = AreaWith({4, 5});
    area[512 + 300] ^= 0x01;  // the newer block no longer sums to a multiple of 256
    EXPECT_EQ(Selected(area), 0);
    // All-zero flash sums to 0 and counts as a block; all-0xFF is erased and does not.
    paramblock::Area zeros = paramblock::ErasedArea();
    std::memset(zeros.data() + 1024, 0, 512);
    EXPECT_EQ(Selected(zeros), 2);
}

TEST(FlashPB, ALastPartialBlockIsNeverRead) {
    sim::BoardConfig config;
    config.panel.touchCalibrationStored = false;
    sim::Board& board = FreshBoard(config);
    const uint8_t* start = Flash(board, AreaWith({1, 2, 3}));
    // An area 1.5 blocks long holds one whole block.
    FlashPBInit(start, start + 768, 512);
    EXPECT_EQ(FlashPBGet(), start);
}

class Params : public ::testing::Test {
  protected:
    void Load(const paramblock::Area& area) {
        sim::BoardConfig config;
        config.panel.touchCalibrationStored = false;
        board_ = &FreshBoard(config);
        Flash(*board_, area);
    }
    sim::Board* board_ = nullptr;
};

TEST_F(Params, AnErasedAreaGivesTheDefaultImageAndNoCalibration) {
    Load(paramblock::ErasedArea());
    TouchScreenSetParam(1, 2, 3, 4, 5, 6, 7);
    EXPECT_EQ(LoadTouchScreenParam(0), 0u);
    EXPECT_EQ(bInit, 1u);
    EXPECT_EQ(FlashPBGet(), nullptr);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&g_sParameters);
    for (size_t i = 0; i < sizeof(g_sParameters); ++i) {
        ASSERT_EQ(bytes[i], i == 2 ? 1 : 0) << i;
    }
    EXPECT_EQ(_Touch_M0, 1) << "the coefficients keep their values";
    EXPECT_EQ(_Touch_M6, 7);
}

TEST_F(Params, HandsTheStoredSetsSevenValuesInOrderToTheTouchDriver) {
    paramblock::Area area = paramblock::ErasedArea();
    std::array<std::optional<Calibration>, 4> sets;
    sets[0] = kSet0;
    sets[3] = kSet3;
    paramblock::AppendBlock(area, sets);
    Load(area);
    EXPECT_EQ(LoadTouchScreenParam(0), 1u);
    EXPECT_EQ(_Touch_M0, 11);
    EXPECT_EQ(_Touch_M1, -12);
    EXPECT_EQ(_Touch_M2, 13);
    EXPECT_EQ(_Touch_M3, -14);
    EXPECT_EQ(_Touch_M4, 15);
    EXPECT_EQ(_Touch_M5, -16);
    EXPECT_EQ(_Touch_M6, 17);
    // Set 0's record is the second of the first pair: bytes 36-67.
    const auto* bytes = reinterpret_cast<const uint8_t*>(&g_sParameters);
    EXPECT_EQ(bytes[36], 0x12);
    EXPECT_EQ(bytes[39], 0x19);
    EXPECT_EQ(LoadTouchScreenParam(3), 1u);
    EXPECT_EQ(_Touch_M0, 31);
    EXPECT_EQ(_Touch_M6, 37);
    EXPECT_EQ(LoadTouchScreenParam(1), 0u) << "not stored";
    EXPECT_EQ(LoadTouchScreenParam(2), 0u);
    EXPECT_EQ(LoadTouchScreenParam(4), 0u);
    EXPECT_EQ(_Touch_M0, 31) << "unchanged by the failed loads";
}

TEST_F(Params, TheAreaIsScannedOnceAndTheSameBlockCopiedAgain) {
    Load(AreaWith({3}));
    ParamInit();
    const uint8_t* first = FlashPBGet();
    ASSERT_NE(first, nullptr);
    // A newer block appearing later is not seen: the scan happened once.
    board_->flash().load(paramblock::kAreaAddress, AreaWith({3, 4}));
    g_sParameters.sequence = 99;
    ParamLoad();
    EXPECT_EQ(FlashPBGet(), first);
    EXPECT_EQ(g_sParameters.sequence, 3);
}

TEST_F(Params, TheDefaultBoardsAreaCarriesTheTouchPanelsCalibration) {
    board_ = &FreshBoard();
    EXPECT_EQ(LoadTouchScreenParam(0), 1u);
    const auto landscape = sim::MatchingLandscapeCalibration();
    EXPECT_EQ(_Touch_M0, landscape[0]);
    EXPECT_EQ(_Touch_M6, landscape[6]);
    EXPECT_EQ(LoadTouchScreenParam(1), 1u);
    EXPECT_EQ(_Touch_M6, sim::MatchingPortraitCalibration()[6]);
}

}  // namespace
