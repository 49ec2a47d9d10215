// What the operator hears and what a touch does, on the whole simulated panel: the key click and
// the idle timer's clicks, a release that was lost, and the output boxes of screen 4.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "input/touch.hpp"
#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/_frame1.hpp"
#include "project/_frame4.hpp"
#include "remote_module.hpp"
#include "uart.hpp"
#include "widgets/widget.hpp"

namespace {

using sim::StopReason;

void Start(sim::PanelHarness& panel) {
    sim::RemoteModuleOf(panel.board()).process().setRunning(false);
    ASSERT_EQ(panel.runUntil([&] { return panel.core().idleTurns() > 0; }, 1000.0),
              StopReason::Condition);
}

size_t Clicks(sim::PanelHarness& panel) {
    return sim::SpeakerOf(panel.board()).audibleTones().size();
}

// ---- The key click: only for a pointer-down a widget claims, only when switched on; the
// speaker pin is handed to the timer with interrupts masked, so the touch interrupt's
// read-modify-write of port C cannot interleave with it.

struct ClickCase {
    bool clickOn;
    bool onButton;
};

class KeyClick : public ::testing::TestWithParam<ClickCase> {};

TEST_P(KeyClick, SoundsOnlyForAClaimedPressWithTheClickOn) {
    const ClickCase c = GetParam();
    sim::PanelHarness panel;
    Start(panel);
    g_bTouchBeep = c.clickOn ? 1 : 0;
    sim::Board& board = panel.board();
    sim::GpioPort& portC = board.gpio('C');
    // The speaker pin's function and direction bits.
    auto routeOf = [](const sim::GpioPort& port) {
        return (port.alternate() & 0x80) | (port.direction() & 0x80) >> 1;
    };
    int lastRoute = routeOf(portC);
    int handovers = 0;
    int unguarded = 0;
    portC.addListener([&](const sim::GpioPort& port) {
        const int route = routeOf(port);
        if (route != lastRoute && board.nvic().activeDepth() == 0) {
            ++handovers;
            unguarded += panel.core().interruptsMasked() ? 0 : 1;
        }
        lastRoute = route;
    });
    const size_t before = Clicks(panel);
    sim::TouchOf(board).press(c.onButton ? 158 : 20, c.onButton ? 171 : 225);
    panel.runForMs(200);
    const bool clicked = Clicks(panel) > before;
    EXPECT_EQ(clicked, c.clickOn && c.onButton);
    if (clicked) {
        EXPECT_GT(handovers, 0);
        EXPECT_EQ(unguarded, 0) << "port C changed with interrupts open";
    }
}

INSTANTIATE_TEST_SUITE_P(Panel, KeyClick,
                         ::testing::Values(ClickCase{true, true}, ClickCase{true, false},
                                           ClickCase{false, true}, ClickCase{false, false}),
                         [](const ::testing::TestParamInfo<ClickCase>& info) {
                             return std::string(info.param.clickOn ? "ClickOn" : "ClickOff") +
                                    (info.param.onButton ? "OnAButton" : "OnNothing");
                         });

// ---- The idle timer's clicks: one on going dark, one on waking, each only when switched on.

struct IdleCase {
    bool offClick;
    bool onClick;
};

class IdleClicks : public ::testing::TestWithParam<IdleCase> {};

TEST_P(IdleClicks, ClickOnGoingDarkAndOnWakingAsSwitched) {
    const IdleCase c = GetParam();
    sim::PanelHarness panel;
    Start(panel);
    const sim::DisplayModule& display = sim::DisplayOf(panel.board());
    g_ucLCDIdleBeepOff = c.offClick ? 1 : 0;
    g_ucLCDIdleBeepOn = c.onClick ? 1 : 0;
    g_ulLCDIdleTimeCountMS = 0;
    g_ulLCDIdleTimeoutMS = 100;
    const size_t lit = Clicks(panel);
    ASSERT_EQ(panel.runUntil([&] { return !display.backlight(); }, 300.0), StopReason::Condition);
    panel.runForMs(200);
    EXPECT_EQ(Clicks(panel) - lit, c.offClick ? 1u : 0u) << "going dark";

    const size_t dark = Clicks(panel);
    sim::TouchOf(panel.board()).press(160, 120);
    panel.runForMs(60);
    sim::TouchOf(panel.board()).release();
    ASSERT_EQ(panel.runUntil([&] { return display.backlight(); }, 100.0), StopReason::Condition);
    panel.runForMs(50);  // the click starts on the next 5 ms tick; dark again only after 100 ms
    EXPECT_EQ(Clicks(panel) - dark, c.onClick ? 1u : 0u) << "waking";
}

INSTANTIATE_TEST_SUITE_P(Panel, IdleClicks,
                         ::testing::Values(IdleCase{false, false}, IdleCase{true, false},
                                           IdleCase{false, true}, IdleCase{true, true}),
                         [](const ::testing::TestParamInfo<IdleCase>& info) {
                             return std::string(info.param.offClick ? "DarkClick" : "DarkQuiet") +
                                    (info.param.onClick ? "WakeClick" : "WakeQuiet");
                         });

// ---- A release lost while the queue was busy leaves the button holding the touch. A tap too
// short to be reported pressed must not then release it somewhere else: the touch driver
// reports the release only of a touch it reported pressed.

TEST(LostRelease, AShortTapElsewhereDoesNotReleaseTheOldButton) {
    sim::PanelHarness panel;
    Start(panel);
    sim::TouchPanel& touch = sim::TouchOf(panel.board());
    touch.press(158, 171);  // WEJDZ
    ASSERT_EQ(panel.runUntil([] { return g_pPointerWidget == &TextPushButton71; }, 100.0),
              StopReason::Condition);
    g_ucMQMutex = 1;  // another producer holds the queue: the pointer-up is dropped
    touch.release();
    panel.runForMs(50);
    g_ucMQMutex = 0;
    ASSERT_EQ(g_pPointerWidget, &TextPushButton71);
    ASSERT_EQ(_CurrentFrame, 1u);

    // Down for five pairs of readings: a touch to the debounce, never reported pressed.
    touch.press(20, 225);
    panel.runForMs(20);
    touch.release();
    panel.runForMs(300);
    EXPECT_EQ(_CurrentFrame, 1u) << "the old button's release handler ran";
    EXPECT_EQ(g_pPointerWidget, &TextPushButton71);
    EXPECT_TRUE(panel.board().faults().empty());
}

// ---- Screen 4: each box writes its own output and its label follows the module.

TEST(OutputBoxes, EachBoxWritesItsOwnOutputAndItsLabelFollows) {
    struct Box {
        int x, y;
        CheckBoxRecord* box;
        VarRecord* variable;
        CanvasRecord* label;
        int reg;
    };
    const Box boxes[] = {
        {56, 80, &CheckBox16, &Dev_1_AO10, &Label22, 10},
        {200, 80, &CheckBox21, &Dev_1_AO11, &Label23, 11},
        {56, 118, &CheckBox46, &Dev_1_AO12, &Label35, 12},
        {200, 118, &CheckBox155, &Dev_1_AO13, &Label13, 13},
        {56, 156, &CheckBox178, &Dev_1_AO14, &Label36, 14},
        {200, 156, &CheckBox183, &Dev_1_AO15, &Label17, 15},
    };
    sim::PanelHarness panel;
    Start(panel);
    remote_io::Process& module = sim::RemoteModuleOf(panel.board()).process();
    sim::TouchPanel& touch = sim::TouchOf(panel.board());
    auto tap = [&](int x, int y) {
        touch.press(x, y);
        panel.runForMs(60);
        touch.release();
        panel.runForMs(60);
    };
    tap(158, 171);
    tap(193, 208);
    ASSERT_EQ(_CurrentFrame, 4u);
    for (int pass = 1; pass >= 0; --pass) {
        for (size_t k = 0; k < std::size(boxes); ++k) {
            tap(boxes[k].x, boxes[k].y);
            EXPECT_EQ((boxes[k].box->style & CB_SELECTED) != 0, pass == 1) << boxes[k].reg;
            for (size_t other = 0; other < std::size(boxes); ++other) {
                // Boxes tapped already in this pass hold its value, the rest the previous one.
                EXPECT_EQ(boxes[other].variable->value, other <= k ? pass : 1 - pass)
                    << "after tapping the box of register " << boxes[k].reg;
            }
        }
        panel.runForMs(500);  // written, read back, shown
        for (const Box& b : boxes) {
            EXPECT_EQ(module.read(b.reg), pass) << b.reg;
            EXPECT_EQ(std::string(b.label->text), std::to_string(pass)) << b.reg;
        }
    }
    for (int reg : {3, 4, 5, 16, 20, 21}) {
        EXPECT_EQ(module.read(reg), 0) << "register " << reg << " untouched";
    }
}

}  // namespace
