// The HX8347 drivers against the display module model: start-up sequences register by register,
// end states, and the drawing operations' effect on the controller's memory and window.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "display/FoxLink240x320x16_HX8347A.hpp"
#include "display/FoxLink320x240x16_HX8347A.hpp"
#include "panel_models.hpp"
#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"
#include "support/scratch_path.hpp"

namespace {

using sim::DisplayController;
using sim::DisplayModule;
using Window = DisplayModule::Window;

struct Expected {
    uint8_t index;
    uint8_t value;
    uint32_t waitMs;  // at least this long before the next bus activity
};

// "46=95 47=51 ... / 20" : register writes, then an optional wait after the last of them.
void Append(std::vector<Expected>& out, const std::string& step) {
    std::istringstream in(step);
    std::string word;
    while (in >> word) {
        if (word == "/") {
            in >> out.back().waitMs;
            continue;
        }
        out.push_back(Expected{static_cast<uint8_t>(std::stoul(word.substr(0, 2), nullptr, 16)),
                               static_cast<uint8_t>(std::stoul(word.substr(3, 2), nullptr, 16)),
                               0});
    }
}

const char* const kLandscapeWindow = "02=00 03=00 04=01 05=3F 06=00 07=00 08=00 09=EF";
const char* const kPortraitWindow = "02=00 03=00 04=00 05=EF 06=00 07=00 08=01 09=3F";

std::vector<Expected> HX8347ASequence(bool landscape) {
    std::vector<Expected> s;
    Append(s, "46=95 47=51 48=00 49=36 4A=11 4B=66 4C=14 4D=77 4E=13 4F=4C 50=46 51=46");
    Append(s, landscape ? kLandscapeWindow : kPortraitWindow);
    Append(s, landscape ? "01=06 16=E0" : "01=06 16=C0");
    Append(s, "23=95 24=95 25=FF 27=0F 28=0F 29=06 2A=06 2C=06 2D=06 3A=01 3B=00 3C=F0 3D=00 / 20");
    Append(s, "35=38 36=78 3E=38 40=0F 41=F0 19=49 93=0C / 10");
    Append(s, "20=40 1D=07 1E=00 1F=04 44=41 45=11 / 10");
    Append(s, "1C=04 / 20 1B=18 / 40 1B=10 / 40 43=80 / 100 90=7F 26=04 / 40 26=24 26=2C / 40");
    Append(s, "26=3C 57=02 95=01 57=00");
    return s;
}

std::vector<Expected> HX8347GSequence(bool landscape) {
    std::vector<Expected> s;
    Append(s,
           "2B=0A 29=8F 2E=88 E2=00 E4=01 E5=01 E6=01 E7=01 EA=00 EB=24 EC=3C ED=04 E8=84 F2=00");
    Append(s, "40=01 41=00 42=00 43=17 44=15 45=20 46=03 47=59 48=00 49=12 4A=17 4B=19 4C=14");
    Append(s,
           "50=1F 51=2A 52=28 53=3F 54=3F 55=3E 56=26 57=7C 58=0B 59=06 5A=08 5B=0D 5C=1F 5D=CC");
    Append(s, "1B=1B 1A=01 24=70 25=58 23=8B 18=3A 19=01 01=00 1F=88 / 50");
    Append(s, "1F=80 / 50 1F=90 / 50 1F=D0 / 50 17=05 36=04 28=38 / 50 28=3F");
    // SetLandscape (0x00, controller layout) or the portrait driver's SetPortrait (0xC0).
    Append(s, landscape ? "16=00" : "16=C0");
    Append(s, landscape ? "02=00 03=00 04=00 05=EF 06=00 07=00 08=01 09=3F" : kPortraitWindow);
    return s;
}

struct StartUpCase {
    DisplayController controller;
    bool landscape;
    uint8_t endMode;
    Window endWindow;
};

class StartUp : public ::testing::TestWithParam<StartUpCase> {};

TEST_P(StartUp, FollowsTheControllerTableRegisterByRegisterWithItsWaits) {
    const StartUpCase c = GetParam();
    sim::BoardConfig config;
    config.panel.controller = c.controller;
    sim::Board& board = FreshBoard(config);
    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
    DisplayModule& display = sim::DisplayOf(board);
    display.fillMemory(0x1234);
    const double begin = board.nowMs();

    if (c.landscape) {
        FoxLink320x240x16_HX8347A_Init();
    } else {
        FoxLink240x320x16_HX8347A_Init();
    }

    EXPECT_GE(display.resets(), 1u);
    EXPECT_EQ(display.identificationReads(), 1u);
    const std::vector<Expected> expected = c.controller == DisplayController::HX8347A
                                               ? HX8347ASequence(c.landscape)
                                               : HX8347GSequence(c.landscape);
    const auto& writes = display.registerWrites();
    ASSERT_EQ(writes.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(writes[i].index, expected[i].index) << "write " << i;
        EXPECT_EQ(writes[i].value, expected[i].value)
            << "write " << i << " to " << std::hex << int(writes[i].index);
        if (i + 1 < expected.size()) {
            const double gap = writes[i + 1].timeMs - writes[i].timeMs;
            // A millisecond is SysCtlClockGet() / 3000 delay loops: a hair under 1 ms.
            EXPECT_GE(gap, expected[i].waitMs * 0.999) << "after write " << i;
            EXPECT_LT(gap, expected[i].waitMs + 1.0) << "after write " << i;
        }
    }
    // The reset pulse and the 150 ms before identification come first.
    EXPECT_GE(writes.front().timeMs - begin, 190.0 * 0.999);

    // The whole panel cleared to black in one run, then 20 ms.
    ASSERT_EQ(display.memoryRuns().size(), 1u);
    EXPECT_EQ(display.memoryRuns()[0].position, writes.size());
    EXPECT_EQ(display.memoryRuns()[0].pixels, 76800u);
    EXPECT_GE(board.nowMs() - display.memoryRuns()[0].timeMs, 20.0 * 0.999);
    for (int row = 0; row < DisplayModule::kRows; ++row) {
        for (int column = 0; column < DisplayModule::kColumns; ++column) {
            ASSERT_EQ(display.memory(column, row), 0) << column << "," << row;
        }
    }
    EXPECT_EQ(display.pixelsOutsideMemory(), 0u);

    EXPECT_EQ(display.memoryAccess(), c.endMode);
    EXPECT_EQ(display.window(), c.endWindow);
    EXPECT_FALSE(display.backlight());
    // Port B pin 7 became a plain output and the commit register is locked again.
    EXPECT_EQ(board.gpio('B').alternate() & 0x80, 0);
    EXPECT_EQ(board.gpio('B').drivenPins(), 0xFF);
    EXPECT_TRUE(board.gpio('B').locked());
    EXPECT_TRUE(board.faults().empty());
}

INSTANTIATE_TEST_SUITE_P(
    BothControllersBothOrientations, StartUp,
    ::testing::Values(StartUpCase{DisplayController::HX8347A, true, 0xE0, {0, 319, 0, 239}},
                      StartUpCase{DisplayController::HX8347G, true, 0x00, {0, 239, 0, 319}},
                      StartUpCase{DisplayController::HX8347A, false, 0xC0, {0, 239, 0, 319}},
                      StartUpCase{DisplayController::HX8347G, false, 0xC0, {0, 239, 0, 319}}));

TEST(Identification, OnlyTheHX8347GWordSelectsItsSequence) {
    for (const uint16_t id : {0x0047, 0x0000, 0xFFFF, 0x0075, 0x0175}) {
        sim::Board& board = FreshBoard();
        // The data lines answer with this word whatever the module would say.
        board.gpio('A').setExternalSource([id] { return static_cast<uint8_t>(id >> 8); });
        board.gpio('B').setExternalSource([id] { return static_cast<uint8_t>(id); });
        FoxLink320x240x16_HX8347A_Init();
        const auto& writes = sim::DisplayOf(board).registerWrites();
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(writes.front().index, id == 0x0075 ? 0x2B : 0x46) << std::hex << id;
    }
}

TEST(ColorTranslate, PutsBlueHighAndRedLow) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0xFFFFFF, 0xFFFF}, {0xFF0000, 0x001F}, {0x00FF00, 0x07E0},
        {0x0000FF, 0xF800}, {0x1E5689, 0x8AA3}, {0x808080, 0x8410},
    };
    for (const auto& [rgb, native] : cases) {
        EXPECT_EQ(g_sFoxLink320x240x16_HX8347A.ColorTranslate(nullptr, rgb), native)
            << std::hex << rgb;
        EXPECT_EQ(g_sFoxLink240x320x16_HX8347A.ColorTranslate(nullptr, rgb), native)
            << std::hex << rgb;
    }
}

TEST(DriverTables, DescribeTheTwoOrientations) {
    for (const DisplayDriver* d : {&g_sFoxLink320x240x16_HX8347A, &g_sFoxLink240x320x16_HX8347A}) {
        EXPECT_EQ(d->size, 40u);
        EXPECT_EQ(d->displayData, nullptr);
    }
    EXPECT_EQ(g_sFoxLink320x240x16_HX8347A.width, 320);
    EXPECT_EQ(g_sFoxLink320x240x16_HX8347A.height, 240);
    EXPECT_EQ(g_sFoxLink320x240x16_HX8347A.RectFill, FoxLink320x240x16_HX8347A_RectFill);
    EXPECT_EQ(g_sFoxLink240x320x16_HX8347A.width, 240);
    EXPECT_EQ(g_sFoxLink240x320x16_HX8347A.height, 320);
    EXPECT_EQ(g_sFoxLink240x320x16_HX8347A.LineDrawV, FoxLink240x320x16_HX8347A_LineDrawV);
}

// A started landscape panel with its logs cleared.
class Landscape : public ::testing::Test {
  protected:
    void SetUp() override {
        board_ = &FreshBoard();
        SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
        FoxLink320x240x16_HX8347A_Init();
        display().clearLogs();
    }
    DisplayModule& display() { return sim::DisplayOf(*board_); }
    const DisplayDriver& d = g_sFoxLink320x240x16_HX8347A;
    sim::Board* board_ = nullptr;
};

TEST_F(Landscape, OnePixelRectFillWritesOnePixelAndRestoresTheFullWindow) {
    const Rect r{17, 33, 17, 33};
    d.RectFill(nullptr, &r, 0xABCD);
    ASSERT_EQ(display().memoryRuns().size(), 1u);
    EXPECT_EQ(display().memoryRuns()[0].pixels, 1u);
    // Mode and the one-pixel window, then the full window again: only the registers that change,
    // and the start registers' low bytes, which place the address counter.
    std::vector<Expected> expected;
    Append(expected, "16=60 03=11 04=00 05=11 07=21 09=21  03=00 04=01 05=3F 07=00 09=EF");
    const auto& w = display().registerWrites();
    ASSERT_EQ(w.size(), expected.size());
    for (size_t i = 0; i < w.size(); ++i) {
        EXPECT_EQ(w[i].index, expected[i].index) << i;
        EXPECT_EQ(w[i].value, expected[i].value) << i;
    }
    EXPECT_EQ(display().memoryRuns()[0].position, 6u);
    EXPECT_EQ(display().window(), (Window{0, 319, 0, 239}));
    EXPECT_EQ(display().screenNative(17, 33), 0xABCD);
    EXPECT_EQ(display().screenNative(18, 33), 0);
    EXPECT_EQ(display().screenNative(17, 34), 0);
}

TEST_F(Landscape, FullHeightVerticalLineIsOneRunAlongControllerRow10) {
    d.LineDrawV(nullptr, 10, 0, 239, 0x07E0);
    ASSERT_EQ(display().memoryRuns().size(), 1u);
    EXPECT_EQ(display().memoryRuns()[0].pixels, 240u);
    EXPECT_EQ(display().pixelsOutsideWindow(), 0u);
    for (int row = 0; row < DisplayModule::kRows; ++row) {
        for (int column = 0; column < DisplayModule::kColumns; ++column) {
            ASSERT_EQ(display().memory(column, row), row == 10 ? 0x07E0 : 0)
                << column << "," << row;
        }
    }
    EXPECT_EQ(display().memoryAccess(), 0x60);
    EXPECT_EQ(display().window(), (Window{0, 319, 0, 239}));
}

TEST_F(Landscape, ShortVerticalLineCoversExactlyItsRows) {
    d.LineDrawV(nullptr, 300, 5, 9, 0x001F);
    for (int y = 0; y < 240; ++y) {
        EXPECT_EQ(display().screenNative(300, y), (y >= 5 && y <= 9) ? 0x001F : 0) << y;
    }
    EXPECT_EQ(display().screenNative(299, 7), 0);
    EXPECT_EQ(display().screenNative(301, 7), 0);
}

TEST_F(Landscape, HorizontalLineAndRectangleLandAtTheirScreenPositions) {
    d.LineDrawH(nullptr, 5, 314, 200, 0xF800);
    const Rect r{100, 50, 102, 51};
    d.RectFill(nullptr, &r, 0x1111);
    int line = 0;
    int rect = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            line += display().screenNative(x, y) == 0xF800;
            rect += display().screenNative(x, y) == 0x1111;
        }
    }
    EXPECT_EQ(line, 310);
    EXPECT_EQ(rect, 6);
    EXPECT_EQ(display().screenNative(5, 200), 0xF800);
    EXPECT_EQ(display().screenNative(314, 200), 0xF800);
    EXPECT_EQ(display().screenNative(102, 51), 0x1111);
}

TEST_F(Landscape, PixelDrawKeepsTheModeThePreviousOperationLeft) {
    d.PixelDraw(nullptr, 3, 4, 0x2222);
    // Right after start-up the mode is the exchanged, mirrored 0xE0: the pixel lands mirrored.
    EXPECT_EQ(display().memoryAccess(), 0xE0);
    EXPECT_NE(display().screenNative(3, 4), 0x2222);
    d.LineDrawH(nullptr, 0, 0, 0, 0);  // any drawing operation brings the drawing mode
    d.PixelDraw(nullptr, 3, 4, 0x3333);
    EXPECT_EQ(display().screenNative(3, 4), 0x3333);
}

TEST_F(Landscape, PixelDrawMultipleUnpacksEveryDepth) {
    // 16 bpp: the two 5-bit fields change places.
    const uint8_t words[] = {0x00, 0xF8, 0x34, 0x12};
    d.PixelDrawMultiple(nullptr, 0, 0, 5, 2, 16, words, nullptr);
    EXPECT_EQ(display().screenNative(0, 0), 0x001F);
    EXPECT_EQ(display().screenNative(1, 0), 0xA222);

    // 1 bpp from bit 3 of the first byte: 0b10110100 -> 1, 0, 1, 0, 0 then 0b1xxxxxxx -> 1.
    const uint8_t bits[] = {0xB4, 0x80};
    const uint32_t two[2] = {0x0101, 0xFEFE};
    d.PixelDrawMultiple(nullptr, 10, 1, 3, 6, 1, bits, two);
    const uint16_t expected1[] = {0xFEFE, 0x0101, 0xFEFE, 0x0101, 0x0101, 0xFEFE};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(display().screenNative(10 + i, 1), expected1[i]) << i;
    }

    // 4 bpp with an odd x0 starts at the low nibble; entries are blue, green, red bytes.
    const uint8_t palette[] = {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00,
                               0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF};
    const uint8_t nibbles[] = {0x21, 0x02};
    d.PixelDrawMultiple(nullptr, 20, 2, 1, 3, 4, nibbles, palette);
    // Entries: 0 black, 1 blue, 2 green, 3 red.
    EXPECT_EQ(display().screenNative(20, 2), 0xF800);  // low nibble of 0x21: 1
    EXPECT_EQ(display().screenNative(21, 2), 0x0000);  // high nibble of 0x02: 0
    EXPECT_EQ(display().screenNative(22, 2), 0x07E0);  // low nibble of 0x02: 2

    // 8 bpp ignores x0.
    const uint8_t indices[] = {2, 1};
    d.PixelDrawMultiple(nullptr, 30, 3, 7, 2, 8, indices, palette);
    EXPECT_EQ(display().screenNative(30, 3), 0x07E0);
    EXPECT_EQ(display().screenNative(31, 3), 0xF800);

    // Depth 2 draws nothing, but the position is still set (the mode is already the drawing one).
    const uint64_t before = display().pixelsWritten();
    display().clearLogs();
    d.PixelDrawMultiple(nullptr, 40, 4, 0, 4, 2, indices, palette);
    EXPECT_EQ(display().pixelsWritten(), before);
    EXPECT_EQ(display().registerWrites().size(), 2u);
    EXPECT_EQ(display().counterColumn(), 40);
    EXPECT_EQ(display().counterRow(), 4);
    EXPECT_EQ(display().memoryRuns().size(), 1u);
}

TEST(Portrait, LinesAndRectanglesUseThePortraitWindow) {
    FreshBoard();
    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
    FoxLink240x320x16_HX8347A_Init();
    DisplayModule& display = sim::DisplayOf(FreshCore().board());
    const DisplayDriver& d = g_sFoxLink240x320x16_HX8347A;
    // Portrait (x, y) is controller column 239 - x, row 319 - y in its drawing mode 0xC0.
    d.LineDrawV(nullptr, 7, 300, 319, 0x0F0F);
    for (int y = 280; y < 320; ++y) {
        EXPECT_EQ(display.memory(239 - 7, 319 - y), y >= 300 ? 0x0F0F : 0) << y;
    }
    EXPECT_EQ(display.memoryAccess(), 0xC0);
    EXPECT_EQ(display.window(), (Window{0, 239, 0, 319}));
    const Rect r{0, 0, 239, 319};
    d.RectFill(nullptr, &r, 0x4444);
    EXPECT_EQ(display.memoryRuns().back().pixels, 76800u);
    EXPECT_EQ(display.memory(0, 0), 0x4444);
    EXPECT_EQ(display.memory(239, 319), 0x4444);
    EXPECT_EQ(display.window(), (Window{0, 239, 0, 319}));
}

TEST_F(Landscape, BacklightTouchesOnlyPortCPin6) {
    board_->gpio('C').write(0x3FC, 0x30, 4);  // PC4, PC5 latched high by someone else
    FoxLink320x240x16_HX8347A_BacklightOn();
    EXPECT_TRUE(display().backlight());
    FoxLink320x240x16_HX8347A_BacklightOff();
    EXPECT_FALSE(display().backlight());
    EXPECT_EQ(board_->gpio('C').outputLatch() & 0x30, 0x30);
}

}  // namespace

namespace {

// The rendered picture: what a viewer sees at landscape pixel (x, y), with the backlight.
TEST_F(Landscape, TheRenderedPictureIsUprightAndDarkWithoutBacklight) {
    const Rect red{10, 10, 59, 29};
    d.RectFill(nullptr, &red, d.ColorTranslate(nullptr, 0xFF0000));
    d.LineDrawV(nullptr, 300, 0, 239, d.ColorTranslate(nullptr, 0x00FF00));
    d.LineDrawH(nullptr, 0, 319, 230, d.ColorTranslate(nullptr, 0x0000FF));
    FoxLink320x240x16_HX8347A_BacklightOn();
    const std::vector<uint8_t> rgb = display().renderRgb();
    ASSERT_EQ(rgb.size(), 320u * 240u * 3u);
    const auto at = [&rgb](int x, int y) {
        const size_t i = (static_cast<size_t>(y) * 320 + static_cast<size_t>(x)) * 3;
        return (uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
    };
    EXPECT_EQ(at(10, 10), 0xFF0000u);
    EXPECT_EQ(at(59, 29), 0xFF0000u);
    EXPECT_EQ(at(60, 29), 0u);
    EXPECT_EQ(at(300, 5), 0x00FF00u);
    EXPECT_EQ(at(5, 230), 0x0000FFu);
    EXPECT_EQ(at(300, 230), 0x0000FFu) << "the later line is on top";
    const std::string path = testsupport::ScratchPath("landscape_driver.png");
    std::string error;
    EXPECT_TRUE(display().savePng(path, &error)) << error;
    std::printf("picture: %s\n", path.c_str());

    FoxLink320x240x16_HX8347A_BacklightOff();
    for (const uint8_t byte : display().renderRgb()) {
        ASSERT_EQ(byte, 0);
    }
}

}  // namespace
