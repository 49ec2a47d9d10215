// The push button class: caption placement, the pressed look, clicks on the press, releases
// wherever the touch ends, auto-repeat counted in pointer moves.
#include "widgets/pushbutton.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fresh_board.hpp"
#include "support/recording_display.hpp"
#include "support/widget_pictures.hpp"

namespace {

using testsupport::RecordingDisplay;
using Op = RecordingDisplay::Op;

constexpr uint32_t kFill = 0x1E5689;
constexpr uint32_t kPressedFill = 0x000000;
constexpr uint32_t kOutline = 0x3C4E5A;
constexpr uint32_t kText = 0xFFFFFF;

std::vector<std::string> g_events;
void Click(WidgetRecord*) {
    g_events.push_back("click");
}
void Release(WidgetRecord*) {
    g_events.push_back("release");
}

class PushButton : public ::testing::Test {
  protected:
    void SetUp() override {
        FreshBoard();
        g_events.clear();
    }
    PushButtonRecord MakeButton(uint32_t style) {
        PushButtonRecord button{};
        button.size = sizeof(PushButtonRecord);
        button.display = display_.driver();
        button.position = {162, 197, 225, 220};
        button.msgProc = RectangularButtonMsgProc;
        button.style = style;
        button.fillColor = kFill;
        button.pressedFillColor = kPressedFill;
        button.outlineColor = kOutline;
        button.textColor = kText;
        button.font = &g_sFontCm12;
        button.text = "WYJSCIA";
        button.onClick = Click;
        button.onRelease = Release;
        return button;
    }
    uint32_t Send(PushButtonRecord& button, uint32_t message, int x, int y) {
        return RectangularButtonMsgProc(&button, message, static_cast<uint32_t>(x),
                                        static_cast<uint32_t>(y));
    }
    RecordingDisplay display_;
};

TEST_F(PushButton, CaptionIsCentredOnTheBaseline) {
    PushButtonRecord button = MakeButton(0x17);
    DrawContext measure{};
    GrContextInit(&measure, display_.driver());
    measure.font = &g_sFontCm12;
    ASSERT_EQ(GrStringWidthGet(&measure, "WYJSCIA", -1), 56);
    ASSERT_EQ(g_sFontCm12.baseline, 10);

    display_.expectWithin(button.position);
    EXPECT_EQ(Send(button, MSG_PAINT, 0, 0), 1u);
    // Centre (194, 209): the caption's cell at (194 - 28, 209 - 5), opaque, inside the outline.
    RecordingDisplay expected;
    for (int y = 197; y <= 220; ++y) {
        for (int x = 162; x <= 225; ++x) {
            const bool border = x == 162 || x == 225 || y == 197 || y == 220;
            expected.set(x, y, RecordingDisplay::Native(border ? kOutline : kFill));
        }
    }
    testsupport::ReferenceText(expected, {163, 198, 224, 219}, &g_sFontCm12, "WYJSCIA", 166, 204,
                               kText, kFill, 1);
    EXPECT_EQ(testsupport::CountDifferences(display_, expected, {0, 0, 319, 239}), 0);
}

TEST_F(PushButton, PressedInsideAndReleasedOutsideClicksOnceAndReleasesOnce) {
    PushButtonRecord button = MakeButton(0x17);
    EXPECT_EQ(Send(button, MSG_POINTER_DOWN, 170, 200), 1u);
    EXPECT_EQ(button.style & PB_PRESSED, PB_PRESSED);
    EXPECT_EQ(g_events, (std::vector<std::string>{"click"}));
    EXPECT_EQ(display_.at(200, 199), RecordingDisplay::Native(kPressedFill)) << "pressed look";
    EXPECT_EQ(display_.at(162, 197), RecordingDisplay::Native(kOutline));

    // Dragged off: not claimed, still pressed, nothing drawn.
    display_.clearCalls();
    EXPECT_EQ(Send(button, MSG_POINTER_MOVE, 300, 200), 0u);
    EXPECT_EQ(button.style & PB_PRESSED, PB_PRESSED);
    EXPECT_TRUE(display_.calls().empty());

    EXPECT_EQ(Send(button, MSG_POINTER_UP, 300, 200), 0u) << "released outside";
    EXPECT_EQ(button.style & PB_PRESSED, 0u);
    EXPECT_EQ(g_events, (std::vector<std::string>{"click", "release"}));
    EXPECT_EQ(display_.at(200, 199), RecordingDisplay::Native(kFill)) << "repainted released";

    EXPECT_EQ(Send(button, MSG_POINTER_DOWN, 225, 220), 1u);
    EXPECT_EQ(Send(button, MSG_POINTER_UP, 162, 197), 1u) << "released inside";
    EXPECT_EQ(g_events, (std::vector<std::string>{"click", "release", "click", "release"}));

    EXPECT_EQ(Send(button, MSG_POINTER_DOWN, 161, 200), 0u);
    EXPECT_EQ(Send(button, MSG_POINTER_DOWN, 200, 221), 0u);
    EXPECT_EQ(button.style & PB_PRESSED, 0u);
    EXPECT_EQ(g_events.size(), 4u);
    EXPECT_EQ(Send(button, MSG_CHECK_IO, 0, 0), 0u);
}

TEST_F(PushButton, AutoRepeatClicksAtTheDelayAndThenEveryRateMoves) {
    PushButtonRecord button = MakeButton(0x17 | PB_AUTO_REPEAT);
    button.repeatDelay = 3;
    button.repeatRate = 2;
    button.repeatCount = 99;  // left over from an earlier press
    Send(button, MSG_POINTER_DOWN, 170, 200);
    std::vector<int> clicksAtMove;
    for (int move = 1; move <= 9; ++move) {
        const size_t before = g_events.size();
        EXPECT_EQ(Send(button, MSG_POINTER_MOVE, 170 + move, 200), 1u);
        if (g_events.size() != before) {
            clicksAtMove.push_back(move);
        }
    }
    EXPECT_EQ(g_events.front(), "click") << "the press clicks too";
    EXPECT_EQ(clicksAtMove, (std::vector<int>{3, 5, 7, 9}));

    // Moves outside are not counted.
    Send(button, MSG_POINTER_UP, 170, 200);
    g_events.clear();
    Send(button, MSG_POINTER_DOWN, 170, 200);
    Send(button, MSG_POINTER_MOVE, 10, 10);
    Send(button, MSG_POINTER_MOVE, 10, 10);
    Send(button, MSG_POINTER_MOVE, 170, 200);
    Send(button, MSG_POINTER_MOVE, 170, 200);
    EXPECT_EQ(g_events.size(), 1u);
    Send(button, MSG_POINTER_MOVE, 170, 200);
    EXPECT_EQ(g_events.size(), 2u);
}

TEST_F(PushButton, RepeatRateZeroRepeatsExactlyOnce) {
    PushButtonRecord button = MakeButton(0x17 | PB_AUTO_REPEAT | PB_NO_PRESS_CLICK);
    button.repeatDelay = 2;
    button.repeatRate = 0;
    Send(button, MSG_POINTER_DOWN, 170, 200);
    std::vector<int> clicksAtMove;
    for (int move = 1; move <= 6; ++move) {
        const size_t before = g_events.size();
        Send(button, MSG_POINTER_MOVE, 170, 200);
        if (g_events.size() != before) {
            clicksAtMove.push_back(move);
        }
    }
    EXPECT_EQ(clicksAtMove, (std::vector<int>{2})) << "no click on the press either";
}

TEST_F(PushButton, NoPressClickWithoutRepeatNeverClicksButStillReleases) {
    PushButtonRecord button = MakeButton(0x17 | PB_NO_PRESS_CLICK);
    button.repeatDelay = 1;
    button.repeatRate = 1;
    EXPECT_EQ(Send(button, MSG_POINTER_DOWN, 170, 200), 1u);
    for (int i = 0; i < 5; ++i) {
        Send(button, MSG_POINTER_MOVE, 170, 200);
    }
    Send(button, MSG_POINTER_UP, 170, 200);
    EXPECT_EQ(g_events, (std::vector<std::string>{"release"}));
}

TEST_F(PushButton, WithoutAClickHandlerNothingIsCounted) {
    PushButtonRecord button = MakeButton(0x17 | PB_AUTO_REPEAT);
    button.onClick = nullptr;
    button.repeatCount = 7;
    EXPECT_EQ(Send(button, MSG_POINTER_DOWN, 170, 200), 1u);
    EXPECT_EQ(Send(button, MSG_POINTER_MOVE, 170, 200), 1u);
    EXPECT_EQ(button.repeatCount, 7u);
    EXPECT_EQ(button.style & PB_PRESSED, PB_PRESSED);
}

// The project's click handlers clear the pressed bit, after the press was painted.
void ClearPressed(WidgetRecord* widget) {
    static_cast<PushButtonRecord*>(widget)->style &= ~PB_PRESSED;
    g_events.push_back("click");
}

TEST_F(PushButton, APressPaintsBeforeTheClickHandlerRuns) {
    PushButtonRecord button = MakeButton(0x17);
    button.onClick = ClearPressed;
    Send(button, MSG_POINTER_DOWN, 170, 200);
    EXPECT_EQ(button.style & PB_PRESSED, 0u);
    EXPECT_EQ(display_.at(200, 199), RecordingDisplay::Native(kPressedFill));
}

TEST_F(PushButton, StateChangesRepaintOnlyWhenTheLookDependsOnThem) {
    const uint8_t image[] = {0x01, 2, 0, 2, 0, 0xC0, 0xC0};
    const uint8_t pressedImage[] = {0x01, 2, 0, 2, 0, 0x00, 0x00};
    PushButtonRecord button = MakeButton(PB_OUTLINE | PB_TEXT);
    Send(button, MSG_POINTER_DOWN, 170, 200);
    Send(button, MSG_POINTER_UP, 170, 200);
    EXPECT_TRUE(display_.calls().empty()) << "outline and text do not change when pressed";

    button.style = PB_IMAGE;
    button.image = image;
    Send(button, MSG_POINTER_DOWN, 170, 200);
    EXPECT_TRUE(display_.calls().empty()) << "one image for both states";

    button.pressedImage = pressedImage;
    Send(button, MSG_POINTER_DOWN, 170, 200);
    // Centre (194, 209): the 2 x 2 image at (193, 208), 0 bits in the pressed fill.
    EXPECT_EQ(display_.at(193, 208), RecordingDisplay::Native(kPressedFill));
    EXPECT_EQ(display_.at(194, 209), RecordingDisplay::Native(kPressedFill));
    Send(button, MSG_POINTER_UP, 170, 200);
    EXPECT_EQ(display_.at(193, 208), RecordingDisplay::Native(kText));
    EXPECT_EQ(display_.count(Op::RectFill), 0u);
}

}  // namespace
