// The check box class: toggling on the press, change reports, partial paints, the hand-drawn
// kind, and the square's 16-bit geometry (a box size of 0 included).
#include "widgets/checkbox.hpp"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "support/fresh_board.hpp"
#include "support/recording_display.hpp"
#include "support/widget_pictures.hpp"

namespace {

using testsupport::RecordingDisplay;
using Op = RecordingDisplay::Op;

constexpr uint32_t kFill = 0x1E5689;
constexpr uint32_t kOutline = 0x000000;
constexpr uint32_t kText = 0xFFFFFF;

std::vector<uint32_t> g_changes;
void RecordChange(WidgetRecord*, uint32_t state) {
    g_changes.push_back(state);
}

class CheckBox : public ::testing::Test {
  protected:
    void SetUp() override {
        FreshBoard();
        g_changes.clear();
    }
    // The shape of the output boxes on the outputs screen: box size 0, outline, fill, text.
    CheckBoxRecord MakeBox(Rect position, uint16_t style, uint16_t boxSize) {
        CheckBoxRecord box{};
        box.size = sizeof(CheckBoxRecord);
        box.display = display_.driver();
        box.position = position;
        box.msgProc = CheckBoxMsgProc;
        box.style = style;
        box.boxSize = boxSize;
        box.fillColor = kFill;
        box.outlineColor = kOutline;
        box.textColor = kText;
        box.font = &g_sFontCm14;
        box.text = "DO1";
        box.onChange = RecordChange;
        return box;
    }
    std::set<std::pair<int, int>> PixelsDrawnIn(uint32_t rgb) const {
        std::set<std::pair<int, int>> pixels;
        for (const auto& call : display_.calls()) {
            if (call.op == Op::PixelDraw && call.color == RecordingDisplay::Native(rgb)) {
                pixels.insert({call.x, call.y});
            }
        }
        return pixels;
    }
    RecordingDisplay display_;
};

TEST_F(CheckBox, APressInsideTogglesAndReportsOnceAndPressesOutsideAreNotClaimed) {
    CheckBoxRecord box = MakeBox({36, 68, 77, 91}, CB_OUTLINE | CB_FILL | CB_TEXT, 16);
    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_POINTER_DOWN, 36, 91), 1u) << "corners are inside";
    EXPECT_EQ(box.style & CB_SELECTED, CB_SELECTED);
    EXPECT_EQ(g_changes, (std::vector<uint32_t>{0x20}));
    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_POINTER_MOVE, 50, 80), 1u);
    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_POINTER_UP, 50, 80), 1u);
    EXPECT_EQ(box.style & CB_SELECTED, CB_SELECTED) << "moves and the release change nothing";
    EXPECT_EQ(g_changes.size(), 1u);

    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_POINTER_DOWN, 77, 68), 1u);
    EXPECT_EQ(box.style & CB_SELECTED, 0);
    EXPECT_EQ(g_changes, (std::vector<uint32_t>{0x20, 0x00}));

    display_.clearCalls();
    for (auto [x, y] : {std::pair{35, 80}, {78, 80}, {50, 67}, {50, 92}, {-1, -1}}) {
        for (uint32_t message : {MSG_POINTER_DOWN, MSG_POINTER_MOVE, MSG_POINTER_UP}) {
            EXPECT_EQ(
                CheckBoxMsgProc(&box, message, static_cast<uint32_t>(x), static_cast<uint32_t>(y)),
                0u)
                << x << ", " << y;
        }
    }
    EXPECT_EQ(box.style & CB_SELECTED, 0);
    EXPECT_EQ(g_changes.size(), 2u);
    EXPECT_TRUE(display_.calls().empty());
    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_CHECK_IO, 0, 0), 0u);
}

TEST_F(CheckBox, APressRepaintsOnlyTheCrossInTheColourOfTheNewState) {
    // Box size 16 centred in rows 68..91: square (38, 72)-(53, 87), cross (39, 73)-(52, 86).
    CheckBoxRecord box = MakeBox({36, 68, 77, 91}, CB_OUTLINE | CB_FILL | CB_TEXT, 16);
    display_.expectWithin(box.position);
    CheckBoxMsgProc(&box, MSG_POINTER_DOWN, 40, 80);
    EXPECT_EQ(display_.count(Op::RectFill), 0u);
    EXPECT_EQ(display_.count(Op::LineDrawH), 0u);
    EXPECT_EQ(display_.count(Op::LineDrawV), 0u);
    const auto ticked = PixelsDrawnIn(kOutline);
    EXPECT_EQ(ticked.size(), 28u) << "two 14-pixel diagonals";
    EXPECT_TRUE(ticked.count({39, 73}) && ticked.count({52, 86}) && ticked.count({39, 86}) &&
                ticked.count({52, 73}));

    display_.clearCalls();
    CheckBoxMsgProc(&box, MSG_POINTER_DOWN, 40, 80);
    EXPECT_EQ(PixelsDrawnIn(kFill), ticked) << "clearing paints the cross over in the fill";
}

TEST_F(CheckBox, WholePaintCentresTheSquareAndPutsTheTextBesideIt) {
    CheckBoxRecord box = MakeBox({36, 68, 77, 91}, CB_OUTLINE | CB_FILL | CB_TEXT, 16);
    display_.expectWithin(box.position);
    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_PAINT, 0, 0), 1u);
    EXPECT_EQ(display_.at(38, 72), RecordingDisplay::Native(kOutline)) << "square's corner";
    EXPECT_EQ(display_.at(53, 87), RecordingDisplay::Native(kOutline));
    EXPECT_EQ(display_.at(38, 71), RecordingDisplay::Native(kFill));
    EXPECT_EQ(display_.at(54, 87), RecordingDisplay::Native(kFill));

    // The text's clip: (36 + 16 + 4, 69)-(76, 90), H = 21; the 14-row cell at 69 + 4.
    RecordingDisplay expected;
    testsupport::ReferenceText(expected, {56, 69, 76, 90}, &g_sFontCm14, "DO1", 56, 73, kText,
                               kFill, 0);
    int textPixels = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            if (expected.at(x, y) != RecordingDisplay::kUntouched) {
                ++textPixels;
                EXPECT_EQ(display_.at(x, y), expected.at(x, y)) << x << ", " << y;
            }
        }
    }
    EXPECT_GT(textPixels, 20);
}

TEST_F(CheckBox, BoxSizeZeroDrawsItsSquareWithReversedCorners) {
    // Rows 68..91: left 38, top 68 + 12 = 80, right 37, bottom 79.
    CheckBoxRecord box = MakeBox({36, 68, 77, 91}, CB_OUTLINE | CB_FILL | CB_TEXT, 0);
    CheckBoxPaint(&box, 0);
    const auto& calls = display_.calls();
    // Fill, the widget's four outline lines, then the square's four as they stand.
    ASSERT_GE(calls.size(), 9u);
    const uint32_t outline = RecordingDisplay::Native(kOutline);
    struct Line {
        Op op;
        int32_t a, b, at;
    };
    const Line square[] = {{Op::LineDrawH, 37, 38, 80},
                           {Op::LineDrawV, 79, 81, 37},
                           {Op::LineDrawH, 36, 38, 79},
                           {Op::LineDrawV, 78, 81, 38}};
    for (int i = 0; i < 4; ++i) {
        const auto& call = calls[5 + i];
        EXPECT_EQ(call.op, square[i].op) << i;
        EXPECT_EQ(call.color, outline) << i;
        if (call.op == Op::LineDrawH) {
            EXPECT_EQ(call.x, square[i].a) << i;
            EXPECT_EQ(call.x2, square[i].b) << i;
            EXPECT_EQ(call.y, square[i].at) << i;
        } else {
            EXPECT_EQ(call.y, square[i].a) << i;
            EXPECT_EQ(call.y2, square[i].b) << i;
            EXPECT_EQ(call.x, square[i].at) << i;
        }
    }
    // The cross: two 4-pixel diagonals in the fill colour (not ticked).
    const std::set<std::pair<int, int>> cross = {{36, 78}, {37, 79}, {38, 80}, {39, 81},
                                                 {36, 81}, {37, 80}, {38, 79}, {39, 78}};
    EXPECT_EQ(PixelsDrawnIn(kFill), cross);

    // The text starts 4 pixels right of the widget's edge: clip (40, 69)-(76, 90).
    RecordingDisplay expected;
    testsupport::ReferenceText(expected, {40, 69, 76, 90}, &g_sFontCm14, "DO1", 40, 73, kText,
                               kFill, 0);
    for (int y = 69; y <= 90; ++y) {
        for (int x = 40; x <= 76; ++x) {
            if (expected.at(x, y) != RecordingDisplay::kUntouched) {
                EXPECT_EQ(display_.at(x, y), expected.at(x, y)) << x << ", " << y;
            }
        }
    }
}

TEST_F(CheckBox, HandDrawnBoxOnlyAsksItsHandlerToPaint) {
    CheckBoxRecord box = MakeBox({19, 87, 98, 166}, 0x47, 16);
    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_PAINT, 0, 0), 1u);
    EXPECT_EQ(g_changes, (std::vector<uint32_t>{0x40}));
    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_POINTER_DOWN, 50, 100), 1u);
    EXPECT_EQ(g_changes, (std::vector<uint32_t>{0x40, 0x60, 0x20})) << "paint, then the change";
    CheckBoxPaint(&box, 0);
    CheckBoxPaint(&box, 1);
    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_POINTER_DOWN, 50, 100), 1u);
    EXPECT_EQ(g_changes, (std::vector<uint32_t>{0x40, 0x60, 0x20, 0x60, 0x60, 0x40, 0x00}));
    EXPECT_TRUE(display_.calls().empty());

    box.onChange = nullptr;
    EXPECT_EQ(CheckBoxMsgProc(&box, MSG_POINTER_DOWN, 50, 100), 1u) << "no handler: still toggles";
    EXPECT_EQ(box.style & CB_SELECTED, CB_SELECTED);
    EXPECT_TRUE(display_.calls().empty());
}

TEST_F(CheckBox, ImageBesideTheSquareIsCentredOrTopAlignedWhenTooTall) {
    // 2 x 4, 1 bit a pixel, all set.
    const uint8_t image[] = {0x01, 2, 0, 4, 0, 0xC0, 0xC0, 0xC0, 0xC0};
    CheckBoxRecord box = MakeBox({0, 0, 39, 9}, CB_IMAGE, 8);
    box.image = image;
    CheckBoxPaint(&box, 0);
    // Clip (12, 0)-(39, 9), H = 9: top 0 + (10 - 4) / 2 = 3.
    EXPECT_EQ(display_.at(12, 3), RecordingDisplay::Native(kText));
    EXPECT_EQ(display_.at(13, 6), RecordingDisplay::Native(kText));
    EXPECT_EQ(display_.at(12, 2), RecordingDisplay::kUntouched);
    EXPECT_EQ(display_.at(12, 7), RecordingDisplay::kUntouched);

    display_.fill(RecordingDisplay::kUntouched);
    box.position = {0, 100, 39, 102};  // H = 2 < 4: drawn from the clip's top
    CheckBoxPaint(&box, 0);
    EXPECT_EQ(display_.at(12, 100), RecordingDisplay::Native(kText));
    EXPECT_EQ(display_.at(12, 102), RecordingDisplay::Native(kText));
    EXPECT_EQ(display_.at(12, 103), RecordingDisplay::kUntouched);
}

}  // namespace
