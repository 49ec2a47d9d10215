// Display start-up: the driver chosen by the orientation code, the RAM driver record, the
// backlight and the touch calibration set it loads.
#include <gtest/gtest.h>

#include <cstring>

#include "display/FoxLink240x320x16_HX8347A.hpp"
#include "display/FoxLink320x240x16_HX8347A.hpp"
#include "display/hmi_Init.hpp"
#include "factory_calibration.hpp"
#include "graphics/image.hpp"
#include "input/touch.hpp"
#include "panel_models.hpp"
#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"

namespace {

sim::DisplayModule& StartedBoard() {
    sim::Board& board = FreshBoard();
    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
    return sim::DisplayOf(board);
}

TEST(DisplayStartUp, Code1StartsTheLandscapeDriverWithCalibrationSet0) {
    sim::DisplayModule& display = StartedBoard();
    EXPECT_FALSE(display.backlight());
    hmi_Init(1);
    EXPECT_EQ(std::memcmp(&g_sDisplayDriverROM, &g_sFoxLink320x240x16_HX8347A, 40), 0);
    EXPECT_EQ(g_sDisplayDriverROM.width, 320);
    EXPECT_EQ(g_sDisplayDriverROM.height, 240);
    EXPECT_TRUE(display.backlight());
    EXPECT_EQ(display.memoryAccess(), 0xE0);
    EXPECT_EQ(hmi_BacklightOn, FoxLink320x240x16_HX8347A_BacklightOn);
    EXPECT_EQ(hmi_BacklightOff, FoxLink320x240x16_HX8347A_BacklightOff);
    EXPECT_EQ(hmi_DrawImage, GrImageDraw);
    EXPECT_EQ(_Touch_M0, sim::MatchingLandscapeCalibration()[0]);
    EXPECT_EQ(_Touch_M6, sim::MatchingLandscapeCalibration()[6]);
    hmi_BacklightSet(0);
    EXPECT_FALSE(display.backlight());
    hmi_BacklightSet(1);
    EXPECT_TRUE(display.backlight()) << "any non-zero level is fully on";
}

// One code per test: the firmware's globals (the parameter block's scan among them) live once
// per process, as on the target.
void ExpectPortrait(uint32_t code) {
    sim::DisplayModule& display = StartedBoard();
    hmi_Init(code);
    EXPECT_EQ(std::memcmp(&g_sDisplayDriverROM, &g_sFoxLink240x320x16_HX8347A, 40), 0);
    EXPECT_EQ(display.memoryAccess(), 0xC0);
    EXPECT_TRUE(display.backlight());
    EXPECT_EQ(hmi_BacklightOff, FoxLink240x320x16_HX8347A_BacklightOff);
    EXPECT_EQ(_Touch_M6, sim::MatchingPortraitCalibration()[6]);
}

TEST(DisplayStartUp, Code0StartsThePortraitDriverWithCalibrationSet1) {
    ExpectPortrait(0);
}

TEST(DisplayStartUp, Code2IsPortraitToo) {
    ExpectPortrait(2);
}

TEST(DisplayStartUp, Code3IsLandscapeWithCalibrationSet0) {
    sim::DisplayModule& display = StartedBoard();
    hmi_Init(3);
    EXPECT_EQ(std::memcmp(&g_sDisplayDriverROM, &g_sFoxLink320x240x16_HX8347A, 40), 0);
    EXPECT_EQ(display.memoryAccess(), 0xE0);
    EXPECT_TRUE(display.backlight());
    EXPECT_EQ(hmi_BacklightOff, FoxLink320x240x16_HX8347A_BacklightOff);
    EXPECT_EQ(_Touch_M0, sim::MatchingLandscapeCalibration()[0]);
    EXPECT_EQ(_Touch_M6, sim::MatchingLandscapeCalibration()[6]);
}

TEST(DisplayStartUp, AnUnknownCodeLeavesNoDriverAndADeadBacklightSwitch) {
    sim::DisplayModule& display = StartedBoard();
    hmi_BacklightSet(255);  // before start-up: harmless
    hmi_DrawImage = nullptr;
    hmi_Init(7);
    EXPECT_EQ(hmi_DrawImage, GrImageDraw) << "set in every case";
    const DisplayDriver zero{};
    EXPECT_EQ(std::memcmp(&g_sDisplayDriverROM, &zero, sizeof(zero)), 0);
    EXPECT_EQ(hmi_BacklightOn, nullptr);
    hmi_BacklightSet(255);
    EXPECT_FALSE(display.backlight());
    EXPECT_EQ(display.writeStrobes(), 0u);
    EXPECT_EQ(_Touch_M6, 0);
}

}  // namespace
