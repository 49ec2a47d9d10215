// The whole firmware with the panel's models: display start-up, touches through the stored
// calibration, the backlight idle timer and its wake gesture.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/main.hpp"
#include "display/hmi_Init.hpp"
#include "input/touch.hpp"
#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "project/_frame0.hpp"
#include "sound/sound.hpp"
#include "widgets/widget.hpp"

namespace {

using sim::StopReason;

struct Message {
    uint32_t message;
    int32_t x;
    int32_t y;
    double timeMs;
};
std::vector<Message> g_messages;
sim::Board* g_board = nullptr;

uint32_t Record(uint32_t message, int32_t x, int32_t y) {
    g_messages.push_back(Message{message, x, y, g_board->nowMs()});
    return 1;
}

// Register 0x16 as display start-up left it, when it cleared the panel (the first screen is drawn
// after that, and drawing changes the mode).
uint8_t MemoryAccessAtStartUpClear(const sim::DisplayModule& display) {
    uint8_t value = 0;
    const size_t clear = display.memoryRuns().front().position;
    for (size_t i = 0; i < clear; ++i) {
        if (display.registerWrites()[i].index == 0x16) {
            value = display.registerWrites()[i].value;
        }
    }
    return value;
}

// Starts the panel, reaches the main loop and puts a recorder in the touch callback's place.
void Start(sim::PanelHarness& panel) {
    g_board = &panel.board();
    ASSERT_EQ(panel.runUntil([&] { return panel.core().idleTurns() > 0; }, 1000.0),
              StopReason::Condition);
    ASSERT_EQ(g_pfnTSHandler, WidgetPointerMessage);
    g_pfnTSHandler = Record;
}

// Runs to the start of the next pair of readings: a finger placed now is seen by all of it.
void ToPairStart(sim::PanelHarness& panel) {
    ASSERT_EQ(panel.runUntil([] { return g_ulTSState == 2; }, 10.0), StopReason::Condition);
    ASSERT_EQ(panel.runUntil([] { return g_ulTSState == 3; }, 10.0), StopReason::Condition);
}

void Pairs(sim::PanelHarness& panel, int n) {
    for (int i = 0; i < n; ++i) {
        ToPairStart(panel);
    }
}

TEST(PanelStartUp, LeavesTheLandscapeDisplayLitAndTheSpeakerSilent) {
    sim::PanelHarness panel;
    Start(panel);
    sim::DisplayModule& display = sim::DisplayOf(panel.board());
    EXPECT_TRUE(display.backlight());
    ASSERT_FALSE(display.memoryRuns().empty());
    EXPECT_EQ(MemoryAccessAtStartUpClear(display), 0xE0);
    EXPECT_EQ(display.memoryRuns().front().pixels, 320u * 240u) << "the panel cleared first";
    EXPECT_EQ(g_sDisplayDriverROM.width, 320);
    EXPECT_NE(_Touch_M6, 0) << "the stored calibration was loaded";
    EXPECT_EQ(g_ulSystemClock, 50'000'000u);
    panel.runForMs(100);
    EXPECT_TRUE(sim::SpeakerOf(panel.board()).tones().empty());
    EXPECT_GE(sim::PanelModelsOf(panel.board()).adc->conversions(), 99u) << "touch sampling runs";
    EXPECT_TRUE(panel.board().faults().empty());
}

TEST(PanelStartUp, AnHX8347GModuleGetsItsOwnSequence) {
    sim::BoardConfig config;
    config.panel.controller = sim::DisplayController::HX8347G;
    sim::PanelHarness panel(config);
    Start(panel);
    const sim::DisplayModule& display = sim::DisplayOf(panel.board());
    ASSERT_FALSE(display.memoryRuns().empty());
    EXPECT_EQ(MemoryAccessAtStartUpClear(display), 0x00);
    EXPECT_EQ(display.registerWrites().front().index, 0x2B);
    EXPECT_TRUE(display.backlight());
}

TEST(TouchInTheSimulator, DownAfter28msAtTheFingerMovesFourPairsLateUpAfter12ms) {
    sim::PanelHarness panel;
    Start(panel);
    sim::TouchPanel& touch = sim::TouchOf(panel.board());

    ToPairStart(panel);
    const double contact = panel.nowMs();
    touch.press(100, 150);
    ASSERT_EQ(panel.runUntil([] { return !g_messages.empty(); }, 100.0), StopReason::Condition);
    EXPECT_EQ(g_messages[0].message, MSG_POINTER_DOWN);
    EXPECT_NEAR(g_messages[0].timeMs - contact, 28.0, 0.1);
    EXPECT_LE(std::abs(g_messages[0].x - 100), 1);
    EXPECT_LE(std::abs(g_messages[0].y - 150), 1);

    // The finger slides right one pixel a pair; each move reports where it was four pairs ago.
    std::vector<int> positions;
    for (int i = 1; i <= 10; ++i) {
        touch.press(100 + 10 * i, 150);
        positions.push_back(100 + 10 * i);
        ToPairStart(panel);
    }
    ASSERT_EQ(g_messages.size(), 11u);
    for (size_t i = 1; i < g_messages.size(); ++i) {
        EXPECT_EQ(g_messages[i].message, MSG_POINTER_MOVE);
        EXPECT_NEAR(g_messages[i].timeMs - g_messages[i - 1].timeMs, 4.0, 0.01);
        // Message i comes on pair 7 + i and reports pair 3 + i; the finger moved from pair 8 on.
        const int expected = i <= 4 ? 100 : positions[i - 5];
        EXPECT_LE(std::abs(g_messages[i].x - expected), 1) << "move " << i;
    }

    const double lift = panel.nowMs();
    touch.release();
    ASSERT_EQ(panel.runUntil([] { return g_messages.back().message == MSG_POINTER_UP; }, 100.0),
              StopReason::Condition);
    EXPECT_NEAR(g_messages.back().timeMs - lift, 12.0, 0.1);
    EXPECT_LE(std::abs(g_messages.back().x - positions[6]), 1) << "the oldest pair in the ring";
}

TEST(TouchInTheSimulator, WithoutAStoredCalibrationEveryTouchMapsToTheOrigin) {
    sim::BoardConfig config;
    config.panel.touchCalibrationStored = false;
    sim::PanelHarness panel(config);
    Start(panel);
    sim::TouchOf(panel.board()).press(250, 40);
    panel.runForMs(60);
    sim::TouchOf(panel.board()).release();
    panel.runForMs(30);
    ASSERT_GE(g_messages.size(), 3u);
    for (const Message& m : g_messages) {
        EXPECT_EQ(m.x, 0);
        EXPECT_EQ(m.y, 0);
    }
    EXPECT_EQ(g_messages.back().message, MSG_POINTER_UP);
}

// The idle timer with a timeout set by the test (the firmware itself never sets one).
class IdleTimer : public ::testing::Test {
  protected:
    void SetUp() override {
        Start(panel_);
        // Right after a tick, so that the next one is the first to count.
        const uint32_t now = g_TimerTicksCount;
        ASSERT_EQ(panel_.runUntil([&] { return g_TimerTicksCount == now + 1; }, 20.0),
                  StopReason::Condition);
        g_ulLCDIdleTimeCountMS = 0;
        g_ulLCDIdleTimeoutMS = 30000;
        set_ = g_TimerTicksCount;
    }
    bool lit() { return sim::DisplayOf(panel_.board()).backlight(); }
    sim::TouchPanel& touch() { return sim::TouchOf(panel_.board()); }
    sim::PanelHarness panel_;
    uint32_t set_ = 0;
};

TEST_F(IdleTimer, TheBacklightGoesOffOnThe3000thTick) {
    ASSERT_EQ(panel_.runUntil([&] { return g_TimerTicksCount == set_ + 2999; }, 31000.0),
              StopReason::Condition);
    EXPECT_TRUE(lit());
    ASSERT_EQ(panel_.runUntil([&] { return !lit(); }, 1000.0), StopReason::Condition);
    panel_.runForMs(1);  // the rest of that tick's handler
    EXPECT_EQ(g_TimerTicksCount, set_ + 3000);
    EXPECT_EQ(g_ucLCDIdleStatus, 6);
    panel_.runForMs(1000);
    EXPECT_FALSE(lit()) << "it stays dark without a touch";
}

TEST_F(IdleTimer, APressOnTick2999RestartsTheCount) {
    ASSERT_EQ(panel_.runUntil([&] { return g_TimerTicksCount == set_ + 2999; }, 31000.0),
              StopReason::Condition);
    touch().press(50, 50);
    ASSERT_EQ(panel_.runUntil([] { return g_ulLCDIdleTimeCountMS == 0; }, 10.0),
              StopReason::Condition);
    const uint32_t pressedAt = g_TimerTicksCount;
    EXPECT_EQ(pressedAt, set_ + 2999) << "the pressed pair came before the next tick";
    touch().release();
    ASSERT_EQ(panel_.runUntil([&] { return !lit(); }, 31000.0), StopReason::Condition);
    panel_.runForMs(1);
    EXPECT_EQ(g_TimerTicksCount, pressedAt + 3000) << "the 3000th tick after the press";
}

TEST_F(IdleTimer, OnlyAFullPressAndReleaseWakesTheDisplayAndItSendsNoMessage) {
    g_ulLCDIdleTimeoutMS = 100;  // dark after ten ticks
    ASSERT_EQ(panel_.runUntil([&] { return !lit(); }, 200.0), StopReason::Condition);
    g_messages.clear();

    // One pressed pair, then releases: not a wake.
    ToPairStart(panel_);
    touch().press(160, 120);
    ToPairStart(panel_);
    touch().release();
    Pairs(panel_, 5);
    EXPECT_FALSE(lit());
    EXPECT_EQ(g_ucLCDIdleStatus, 5);

    // A touch long enough to be a press, then a release: awake, and the touch was swallowed.
    touch().press(160, 120);
    Pairs(panel_, 10);
    EXPECT_FALSE(lit()) << "the display wakes on the release, not the press";
    EXPECT_EQ(g_ucLCDIdleStatus, 3);
    touch().release();
    Pairs(panel_, 2);
    EXPECT_FALSE(lit());
    Pairs(panel_, 1);
    EXPECT_TRUE(lit());
    EXPECT_EQ(g_ucLCDIdleStatus, 0);
    EXPECT_EQ(g_ulLCDIdleTimeCountMS, 0u);
    EXPECT_TRUE(g_messages.empty());

    // The next touch is an ordinary one.
    touch().press(160, 120);
    Pairs(panel_, 8);
    ASSERT_FALSE(g_messages.empty());
    EXPECT_EQ(g_messages[0].message, MSG_POINTER_DOWN);
}

TEST(IdleTimerOff, WithNoTimeoutNothingEverChanges) {
    sim::PanelHarness panel;
    Start(panel);
    sim::TouchOf(panel.board()).press(10, 10);
    panel.runForMs(100);
    sim::TouchOf(panel.board()).release();
    panel.runForMs(2000);
    EXPECT_EQ(g_ulLCDIdleTimeCountMS, 0u);
    EXPECT_EQ(g_ucLCDIdleStatus, 0);
    EXPECT_TRUE(sim::DisplayOf(panel.board()).backlight());
    EXPECT_EQ(g_messages.front().message, MSG_POINTER_DOWN);
}

}  // namespace
