// Drawing through the whole stack: the graphics library, the landscape driver in
// g_sDisplayDriverROM, the GPIO bus and the display module. The same drawing on the library's
// test display is the reference of where every pixel belongs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "display/hmi_Init.hpp"
#include "graphics/context.hpp"
#include "graphics/hmi.hpp"
#include "graphics/string.hpp"
#include "panel_models.hpp"
#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"
#include "support/recording_display.hpp"
#include "support/scratch_path.hpp"

namespace {

using testsupport::RecordingDisplay;

// Colours exact in 5-6-5, so that the panel shows them unchanged.
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kYellow = 0xFFFF00;

const char kGreeting[] = "Witaj! 0123";

// A small scene: text in two fonts, filled and outlined rectangles, a diagonal.
void DrawScene(const DisplayDriver* display) {
    DrawContext context{};
    GrContextInit(&context, display);
    hmi_SetForeground(&context, kBlue);
    hmi_FillRect(&context, 200, 150, 299, 219);
    hmi_SetForeground(&context, kRed);
    hmi_DrawRect(&context, 5, 5, 314, 234);
    hmi_SetForeground(&context, kWhite);
    context.font = &g_sFontCm14b;
    GrStringDraw(&context, kGreeting, -1, 20, 30, 0);
    context.font = &g_sFontCm12;
    context.background = display->ColorTranslate(display->displayData, kYellow);
    GrStringDraw(&context, "dol", -1, 210, 160, 1);
    hmi_SetForeground(&context, kGreen);
    GrLineDraw(&context, 20, 200, 120, 120);
}

uint32_t Expected(uint32_t tagged) {
    return tagged == RecordingDisplay::kUntouched ? 0 : tagged & 0xFFFFFF;
}

class WholeStack : public ::testing::Test {
  protected:
    void SetUp() override {
        board_ = &FreshBoard();
        SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
        hmi_Init(1);
    }
    sim::DisplayModule& display() { return sim::DisplayOf(*board_); }
    sim::Board* board_ = nullptr;
};

TEST_F(WholeStack, TextAndRectanglesAppearUprightWhereTheyWereDrawn) {
    DrawScene(&g_sDisplayDriverROM);
    RecordingDisplay reference;
    DrawScene(reference.driver());

    const std::string path = testsupport::ScratchPath("whole_stack.png");
    std::string error;
    ASSERT_TRUE(display().savePng(path, &error)) << error;
    std::printf("picture: %s\n", path.c_str());

    const std::vector<uint8_t> rgb = display().renderRgb();
    int mismatches = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            const size_t i = (static_cast<size_t>(y) * 320 + static_cast<size_t>(x)) * 3;
            const uint32_t shown =
                (uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
            if (shown != Expected(reference.at(x, y)) && ++mismatches <= 5) {
                ADD_FAILURE() << "(" << x << ", " << y << ") shows " << std::hex << shown
                              << " instead of " << Expected(reference.at(x, y));
            }
        }
    }
    EXPECT_EQ(mismatches, 0);

    // The text's ink lies where it was put: from x = 20, in the cell below y = 30.
    DrawContext context{};
    GrContextInit(&context, &g_sDisplayDriverROM);
    context.font = &g_sFontCm14b;
    const int width = GrStringWidthGet(&context, kGreeting, -1);
    int inkLeft = 320, inkRight = -1, inkTop = 240, inkBottom = -1;
    for (int y = 6; y < 100; ++y) {
        for (int x = 6; x < 314; ++x) {
            if (display().screenRgb(x, y) == kWhite) {
                inkLeft = std::min(inkLeft, x);
                inkRight = std::max(inkRight, x);
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y);
            }
        }
    }
    EXPECT_GE(inkLeft, 20);
    EXPECT_LE(inkLeft, 22);
    EXPECT_LE(inkRight, 20 + width - 1);
    EXPECT_GT(inkRight, 20 + width - 8);
    EXPECT_GE(inkTop, 30);
    EXPECT_LT(inkBottom, 30 + g_sFontCm14b.height);
    // The filled rectangle and the outline's corners.
    EXPECT_EQ(display().screenRgb(250, 185), kBlue);
    EXPECT_EQ(display().screenRgb(5, 120), kRed);
    EXPECT_EQ(display().screenRgb(314, 234), kRed);
}

TEST_F(WholeStack, AFullScreenFillLeavesNoPixelUnwritten) {
    display().fillMemory(0xBEEF);  // a value no drawing below produces
    DrawContext context{};
    GrContextInit(&context, &g_sDisplayDriverROM);
    hmi_SetForeground(&context, 0x1E5689);
    const uint64_t before = display().pixelsWritten();
    hmi_FillRect(&context, 0, 0, 319, 239);
    EXPECT_EQ(display().pixelsWritten() - before, 76800u);
    for (int row = 0; row < sim::DisplayModule::kRows; ++row) {
        for (int column = 0; column < sim::DisplayModule::kColumns; ++column) {
            ASSERT_EQ(display().memory(column, row), 0x8AA3) << column << "," << row;
        }
    }
    EXPECT_EQ(display().pixelsOutsideMemory(), 0u);
    EXPECT_EQ(display().window(), (sim::DisplayModule::Window{0, 319, 0, 239}));
}

}  // namespace
