// The touch driver on the simulated ADC, timer and touch panel: acquisition, calibration and the
// debounce and ring that turn pairs of readings into pointer messages.
#include <gtest/gtest.h>

#include <vector>

#include "input/touch.hpp"
#include "panel_models.hpp"
#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"
#include "widgets/widget.hpp"

namespace {

struct Message {
    uint32_t message;
    int32_t x;
    int32_t y;
};
std::vector<Message> g_messages;

uint32_t Record(uint32_t message, int32_t x, int32_t y) {
    g_messages.push_back(Message{message, x, y});
    return 0xDEADBEEF;  // the result has no effect
}

constexpr uint32_t kStep = 50'000'000 / 3 / 20'000;  // 50 us of delay loop

// Runs until the interrupt has processed one more pair of readings. Afterwards the next
// conversion is the X plate's settling one: a finger placed now is seen by the whole next pair.
void NextPair() {
    while (g_ulTSState != 2) {
        SysCtlDelay(kStep);
    }
    while (g_ulTSState != 3) {
        SysCtlDelay(kStep);
    }
}

class Touch : public ::testing::Test {
  protected:
    void SetUp() override {
        board_ = &FreshBoard();
        SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
        TouchScreenSetParam(1, 0, 0, 0, 1, 0, 1);  // screen = raw
        TouchScreenInit();
        TouchScreenCallbackSet(Record);
        g_messages.clear();
        NextPair();
    }
    sim::TouchPanel& panel() { return sim::TouchOf(*board_); }
    // One pair with the finger giving these readings.
    void Pair(int32_t rawX, int32_t rawY) {
        panel().pressRaw(rawX, rawY);
        NextPair();
    }
    void ReleasedPair() {
        panel().release();
        NextPair();
    }
    sim::Board* board_ = nullptr;
};

TEST_F(Touch, ReadsBothPlatesIntoARawPairEveryFourMilliseconds) {
    panel().pressRaw(321, 654);
    const double start = board_->nowMs();
    NextPair();
    NextPair();
    EXPECT_NEAR(board_->nowMs() - start, 8.0, 0.1);
    EXPECT_EQ(g_sTouchX, 321);
    EXPECT_EQ(g_sTouchY, 654) << "Y is read with PD1 high, PD0 low";
    EXPECT_EQ(sim::PanelModelsOf(*board_).adc->overflows(), 1u) << "only the first, unread one";
}

TEST_F(Touch, CalibrationIsIntegerAffineWithTruncationAndA16BitCut) {
    TouchScreenSetParam(1, 0, 0, 0, 1, 0, 1);
    EXPECT_EQ(touch::Calibrate(500, 600).x, 500);
    EXPECT_EQ(touch::Calibrate(500, 600).y, 600);
    TouchScreenSetParam(1, 0, 0, 0, 1, 0, 2);
    EXPECT_EQ(touch::Calibrate(500, 600).x, 250);
    EXPECT_EQ(touch::Calibrate(501, 601).y, 300);
    TouchScreenSetParam(-1, 0, 0, 0, -3, 0, 2);
    EXPECT_EQ(touch::Calibrate(501, 601).x, -250) << "toward zero";
    EXPECT_EQ(touch::Calibrate(501, 601).y, -901);
    TouchScreenSetParam(1, 0, 0, 0, 1, 0, 0);
    EXPECT_EQ(touch::Calibrate(500, 600).x, 0);
    EXPECT_EQ(touch::Calibrate(500, 600).y, 0);
    TouchScreenSetParam(100, 0, 0, 0, 0, 70000, 1);
    EXPECT_EQ(touch::Calibrate(700, 0).x, static_cast<int16_t>(70000 & 0xFFFF));
    EXPECT_EQ(touch::Calibrate(700, 0).y, static_cast<int16_t>(70000 & 0xFFFF));
    // 32-bit products wrap as on the target; INT32_MIN / -1 does not trap.
    TouchScreenSetParam(0x40000000, 0, 0, 0, 0, INT32_MIN, -1);
    EXPECT_EQ(touch::Calibrate(4, 0).x, 0);
    EXPECT_EQ(touch::Calibrate(4, 0).y, 0);
    TouchScreenSetParam(1, 2, 3, 4, 5, 6, 7);
    EXPECT_EQ(_Touch_M0, 1);
    EXPECT_EQ(_Touch_M6, 7);
}

TEST_F(Touch, ThresholdIs99ReleasedAnd100Pressed) {
    for (int i = 0; i < 10; ++i) {
        Pair(99, 500);
        Pair(500, 99);
    }
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(g_cState, 0);
    for (int i = 0; i < 7; ++i) {
        Pair(100, 100);
    }
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].message, MSG_POINTER_DOWN);
}

TEST_F(Touch, DownOnTheSeventhPairWithTheThirdsPositionThenMovesFourPairsBehind) {
    Pair(101, 201);
    Pair(102, 202);
    ReleasedPair();
    ReleasedPair();
    EXPECT_TRUE(g_messages.empty()) << "two pressed pairs are no touch";
    EXPECT_EQ(g_cState, 0);

    for (int k = 1; k <= 6; ++k) {
        Pair(100 + k, 200 + k);
    }
    EXPECT_TRUE(g_messages.empty());
    Pair(107, 207);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].message, MSG_POINTER_DOWN);
    EXPECT_EQ(g_messages[0].x, 103);
    EXPECT_EQ(g_messages[0].y, 203);
    for (int k = 8; k <= 13; ++k) {
        Pair(100 + k, 200 + k);
        ASSERT_EQ(g_messages.size(), static_cast<size_t>(k - 6));
        EXPECT_EQ(g_messages.back().message, MSG_POINTER_MOVE);
        EXPECT_EQ(g_messages.back().x, 100 + k - 4) << "pair " << k;
        EXPECT_EQ(g_messages.back().y, 200 + k - 4);
    }
    // The up comes on the third released pair with the oldest pair: the last three are lost.
    ReleasedPair();
    ReleasedPair();
    EXPECT_EQ(g_messages.size(), 7u);
    ReleasedPair();
    ASSERT_EQ(g_messages.size(), 8u);
    EXPECT_EQ(g_messages.back().message, MSG_POINTER_UP);
    EXPECT_EQ(g_messages.back().x, 110);
    EXPECT_EQ(g_messages.back().y, 210);
    EXPECT_EQ(g_cState, 0);
}

TEST_F(Touch, AOnePairLiftInsideATouchDoesNotEndIt) {
    for (int k = 1; k <= 8; ++k) {
        Pair(100 + k, 300);
    }
    ASSERT_EQ(g_messages.size(), 2u);  // down, move
    ReleasedPair();
    EXPECT_EQ(g_cState, 0x82);
    Pair(150, 300);  // counts back to the touch; not tracked
    EXPECT_EQ(g_cState, 0x83);
    Pair(151, 300);
    ASSERT_EQ(g_messages.size(), 3u);
    EXPECT_EQ(g_messages.back().message, MSG_POINTER_MOVE);
    EXPECT_EQ(g_messages.back().x, 105);
    for (const Message& m : g_messages) {
        EXPECT_NE(m.message, MSG_POINTER_UP);
    }
    ReleasedPair();
    ReleasedPair();
    ReleasedPair();
    EXPECT_EQ(g_messages.back().message, MSG_POINTER_UP);
}

TEST_F(Touch, OnlyATouchReportedPressedIsReportedReleased) {
    // Established on the third pair, lifted before the down is due (at each stage of the ring),
    // then one whole touch: a single down and a single up, nothing for the short ones.
    for (int held = 3; held <= 6; ++held) {
        for (int k = 0; k < held; ++k) {
            Pair(111, 211);
        }
        ReleasedPair();
        ReleasedPair();
        ReleasedPair();
        EXPECT_EQ(g_cState, 0) << held;
        EXPECT_TRUE(g_messages.empty()) << "a touch of " << held << " pairs";
    }
    for (int k = 0; k < 7; ++k) {
        Pair(120, 220);
    }
    ReleasedPair();
    ReleasedPair();
    ReleasedPair();
    ASSERT_EQ(g_messages.size(), 2u);
    EXPECT_EQ(g_messages[0].message, MSG_POINTER_DOWN);
    EXPECT_EQ(g_messages[1].message, MSG_POINTER_UP);
    EXPECT_EQ(g_messages[1].x, 120);
}

TEST_F(Touch, WithoutACallbackTheStateMachineStillRuns) {
    TouchScreenCallbackSet(nullptr);
    for (int k = 1; k <= 9; ++k) {
        Pair(100 + k, 300);
    }
    EXPECT_EQ(g_cState, 0x83);
    EXPECT_EQ(g_cIndex, 6);
    EXPECT_EQ(g_psSamples[0], 107);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(Touch, InitClearsTheCallbackKeepsCoefficientsAndLeavesTheRunningTimerAlone) {
    sim::GpTimer& timer0 = *sim::PanelModelsOf(*board_).timer0;
    const uint32_t before = timer0.timeouts(sim::GpTimer::kA);
    TouchScreenSetParam(3, 0, 0, 0, 3, 0, 1);
    TouchScreenInit();
    EXPECT_EQ(g_pfnTSHandler, nullptr);
    EXPECT_EQ(_Touch_M0, 3);
    EXPECT_EQ(timer0.load(sim::GpTimer::kA), 49'999u);
    SysCtlDelay(50'000'000 / 3 / 100);  // 10 ms
    EXPECT_NEAR(timer0.timeouts(sim::GpTimer::kA) - before, 10.0, 1.0) << "the 1 ms period ran on";
}

}  // namespace
