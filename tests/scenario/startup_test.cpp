// The whole firmware on the simulated board: start-up, the tick, control-cycle pacing and the
// update hand-off. Each test runs in a process of its own.
#include <gtest/gtest.h>

#include <vector>

#include "core/main.hpp"
#include "panel_harness.hpp"
#include "periph/hw_regs.hpp"
#include "periph/sysctl.hpp"
#include "project/_frame0.hpp"
#include "support/cycle_probe.hpp"
#include "widgets/widget.hpp"

namespace {

using sim::StopReason;

using cycle_probe::g_runs;
sim::Board* g_board = nullptr;

bool InMainLoop(sim::PanelHarness& panel) {
    return panel.core().idleTurns() > 0;
}

void StartAndReachMainLoop(sim::PanelHarness& panel) {
    g_board = &panel.board();
    ASSERT_EQ(panel.runUntil([&] { return InMainLoop(panel); }, 1000.0),
              StopReason::Condition);
    ASSERT_EQ(pfnNullWidgetMsgProc, default_timer_proc);
    cycle_probe::Install(panel.board());
}

TEST(StartUp, ReachesTheMainLoopWithTheClockAt50MHz) {
    sim::PanelHarness panel;
    StartAndReachMainLoop(panel);
    sim::Board& board = panel.board();
    EXPECT_EQ(board.sysctl().clockHz(), 50'000'000u);
    EXPECT_TRUE(board.systick().enabled());
    EXPECT_TRUE(board.systick().interruptEnabled());
    // The display's reset and power-on waits take about half a second of it.
    EXPECT_LT(panel.nowMs(), 700.0) << "start-up is quick";
    EXPECT_TRUE(board.faults().empty()) << board.faults().front().what;
    EXPECT_FALSE(panel.core().halted());
}

TEST(StartUp, TheTickInterruptComesEvery500000Cycles) {
    sim::PanelHarness panel;
    StartAndReachMainLoop(panel);
    sim::Board& board = panel.board();
    EXPECT_EQ(board.systick().reload(), 499'999u);

    const uint32_t first = g_TimerTicksCount + 5;
    ASSERT_EQ(panel.runUntil([&] { return g_TimerTicksCount >= first; }, 1000.0),
              StopReason::Condition);
    const sim::Cycles fifth = board.scheduler().now();
    ASSERT_EQ(panel.runUntil([&] { return g_TimerTicksCount >= first + 100; }, 2000.0),
              StopReason::Condition);
    const sim::Cycles hundredFifth = board.scheduler().now();
    // The handler runs when the counter reaches zero; allow the few cycles of the handler itself.
    EXPECT_NEAR(static_cast<double>(hundredFifth - fifth), 100 * 500'000.0, 50.0);

    const auto& wraps = board.systick().wrapCycles();
    ASSERT_GE(wraps.size(), 100u);
    for (size_t i = wraps.size() - 100; i < wraps.size(); ++i) {
        EXPECT_EQ(wraps[i] - wraps[i - 1], 500'000u);
    }
    EXPECT_EQ(panel.core().exceptionsTaken(15), g_TimerTicksCount);
}

TEST(StartUp, BootLoaderBlocksCannotBeProgrammedButTheRestOfFlashCan) {
    sim::PanelHarness panel;
    StartAndReachMainLoop(panel);
    sim::Board& board = panel.board();

    const auto program = [&board](uint32_t address, uint32_t value) {
        board.flash().clearAccessViolation();
        board.debugWrite(hw::flash::kFma, address);
        board.debugWrite(hw::flash::kFmd, value);
        board.debugWrite(hw::flash::kFmc, hw::flash::kFmcKey | hw::flash::kFmcWrite);
        return !board.flash().accessViolation() && board.flash().word(address) == value;
    };
    for (uint32_t address : {0x0000u + 0x100, 0x0800u, 0x1000u, 0x17FCu}) {
        const uint32_t before = board.flash().word(address);
        EXPECT_FALSE(program(address, 0)) << std::hex << address;
        EXPECT_EQ(board.flash().word(address), before);
    }
    // (The parameter area's first slot holds the calibration block; its last one is erased.)
    for (uint32_t address : {0x1800u, 0x20000u, 0x3FE00u, 0x3FFFCu}) {
        EXPECT_TRUE(program(address, 0x5A5A0000)) << std::hex << address;
    }
}

// Holds start-up off between registering the control cycle and entering the first frame, so
// that the tick runs for a while before the dictionary is initialised.
constexpr double kHoldOffMs = 1005;
void RegisterThenHoldOff(WidgetMsgProc procedure) {
    RAM_RegisterNullWidgetMsgProc(procedure);
    SysCtlDelay(static_cast<uint32_t>(SysCtlClockGet() / 3000 * kHoldOffMs));
}

// Starts the firmware with the first frame entry held off; returns the tick count at the moment
// the dictionary was initialised.
uint32_t StartWithHeldOffFrameEntry(sim::PanelHarness& panel) {
    g_board = &panel.board();
    RegisterNullWidgetMsgProc = RegisterThenHoldOff;
    EXPECT_EQ(panel.runUntil([] { return g_TimerTicksCount >= 95; }, 2000.0),
              StopReason::Condition);
    EXPECT_EQ(table_init_flag, 0u) << "still held off";
    EXPECT_EQ(g_ulToCheckIO, 0u) << "ticks before the first frame request no cycle";
    EXPECT_EQ(panel.runUntil([] { return table_init_flag != 0; }, 1000.0), StopReason::Condition);
    const uint32_t ticksAtRelease = g_TimerTicksCount;
    EXPECT_EQ(panel.runUntil([&] { return InMainLoop(panel); }, 1000.0),
              StopReason::Condition);
    EXPECT_EQ(pfnNullWidgetMsgProc, default_timer_proc);
    cycle_probe::Install(panel.board());
    return ticksAtRelease;
}

TEST(ControlCycle, NoCycleRunsBeforeTheDictionaryIsInitialised) {
    sim::PanelHarness panel;
    const uint32_t ticksAtRelease = StartWithHeldOffFrameEntry(panel);
    EXPECT_GE(ticksAtRelease, 100u);
    EXPECT_TRUE(g_runs.empty());
    panel.runForMs(200);
    ASSERT_FALSE(g_runs.empty());
    EXPECT_EQ(g_runs.front().startTick, (ticksAtRelease / 10 + 1) * 10)
        << "the first request comes at the first tenth tick after the release";
}

TEST(ControlCycle, OneCycleRunsEveryTenTicksOnceRequestsFlow) {
    sim::PanelHarness panel;
    const uint32_t ticksAtRelease = StartWithHeldOffFrameEntry(panel);
    panel.runForMs(1000);

    ASSERT_GE(g_runs.size(), 9u);
    ASSERT_LE(g_runs.size(), 11u);
    // The first cycle comes at the first tick that is a multiple of 10 after the release.
    EXPECT_EQ(g_runs.front().startTick, (ticksAtRelease / 10 + 1) * 10);
    for (size_t i = 0; i < g_runs.size(); ++i) {
        EXPECT_EQ(g_runs[i].startTick % 10, 0u);
        if (i > 0) {
            EXPECT_EQ(g_runs[i].startTick - g_runs[i - 1].startTick, 10u);
            EXPECT_NEAR(g_runs[i].startMs - g_runs[i - 1].startMs, 100.0, 0.1);
        }
    }
}

// A widget whose paint holds up the main loop for 350 ms.
double g_holdStart = 0;
double g_holdEnd = 0;
uint32_t g_requestsDuringHold = 0;

uint32_t SlowPaint(WidgetRecord*, uint32_t message, uint32_t, uint32_t) {
    if (message == MSG_PAINT) {
        g_holdStart = g_board->nowMs();
        SysCtlDelay(SysCtlClockGet() / 3000 * 350);
        g_holdEnd = g_board->nowMs();
        g_requestsDuringHold = g_ulToCheckIO;
    }
    return 1;
}

TEST(ControlCycle, AMainLoopHeldUpFor350msRunsASingleCycleAfterwards) {
    sim::PanelHarness panel;
    StartAndReachMainLoop(panel);
    ASSERT_EQ(table_init_flag, 1u) << "the first frame entry released the cycle";
    panel.runForMs(305);
    const size_t cyclesBefore = g_runs.size();
    ASSERT_GE(cyclesBefore, 2u);

    WidgetRecord slow = {sizeof(WidgetRecord), nullptr,  nullptr, nullptr, nullptr,
                         {0, 0, 0, 0},         SlowPaint};
    WidgetAdd(&g_sRoot, &slow);
    ASSERT_EQ(WidgetMessageQueueAdd(&slow, MSG_PAINT, 0, 0, 0, 0), 1u);
    panel.runForMs(500);

    EXPECT_NEAR(g_holdEnd - g_holdStart, 350.0, 0.1);
    EXPECT_GE(g_requestsDuringHold, 3u) << "three or four requests piled up while held";
    // One cycle right after the hold, then the next only at the next tenth tick.
    std::vector<size_t> after;
    for (size_t i = cyclesBefore; i < g_runs.size(); ++i) {
        EXPECT_FALSE(g_runs[i].startMs > g_holdStart && g_runs[i].startMs < g_holdEnd)
            << "no cycle during the hold";
        if (g_runs[i].startMs >= g_holdEnd) {
            after.push_back(i);
        }
    }
    ASSERT_GE(after.size(), 2u);
    EXPECT_LT(g_runs[after[0]].startMs - g_holdEnd, 1.0)
        << "the piled-up requests run one cycle at once";
    // A request that came while that cycle ran is absorbed with the others.
    EXPECT_EQ(g_runs[after[1]].startTick, (g_runs[after[0]].endTick / 10 + 1) * 10)
        << "the requests were absorbed: the next cycle waits for the next tenth tick";
    WidgetRemove(&slow);
}

// Records when the last queued message was delivered.
double g_finalPaintTime = -1;
uint32_t RecordPaint(WidgetRecord*, uint32_t message, uint32_t, uint32_t) {
    if (message == MSG_PAINT) {
        g_finalPaintTime = g_board->nowMs();
    }
    return 1;
}

TEST(UpdateHandOff, DrainsTheQueueWaitsHalfASecondThenEntersTheBootLoader) {
    sim::PanelHarness panel;
    StartAndReachMainLoop(panel);
    sim::Board& board = panel.board();
    // Give the NVIC something to disable, in both enable registers (interrupt 42 in the second).
    board.nvic().write(0x100, 1u << 6);
    board.nvic().write(0x104, 1u << 10);
    ASSERT_NE(board.nvic().enabled() >> 32 & (1u << 10), 0u);

    WidgetRecord widget = {sizeof(WidgetRecord), nullptr,    nullptr, nullptr, nullptr,
                           {0, 0, 0, 0},         RecordPaint};
    WidgetAdd(&g_sRoot, &widget);
    panel.runForMs(20);
    ASSERT_EQ(WidgetMessageQueueAdd(&widget, MSG_PAINT, 0, 0, 0, 0), 1u);
    const double flagTime = panel.nowMs();
    const uint32_t ticksAtFlag = g_TimerTicksCount;
    g_bFirmwareUpdate = 1;

    EXPECT_EQ(panel.runForMs(2000), StopReason::Halted);
    ASSERT_TRUE(panel.core().bootLoaderCall().has_value());
    const sim::BootLoaderCall& call = *panel.core().bootLoaderCall();
    EXPECT_EQ(call.address, board.flash().word(0x2C)) << "the address stored at 0x2C is called";
    EXPECT_EQ(call.nvicEnabled, 0u) << "every peripheral interrupt disabled";
    EXPECT_FALSE(call.sysTickInterrupt) << "the tick stopped";
    EXPECT_FALSE(call.interruptsMasked) << "the processor's mask is left alone";

    const double callTime = static_cast<double>(call.time) / static_cast<double>(sim::kPsPerMs);
    EXPECT_GE(g_finalPaintTime, flagTime) << "the queue is drained once more";
    EXPECT_NEAR(callTime - g_finalPaintTime, 500.0, 1.0) << "then half a second";
    EXPECT_GE(g_TimerTicksCount - ticksAtFlag, 49u) << "interrupts keep running during the wait";
    EXPECT_NE(panel.core().haltReason().find("boot loader"), std::string::npos);
}

}  // namespace
