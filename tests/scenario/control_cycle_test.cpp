// The control cycle on the running firmware: its pace, the order of its steps, the error flag.
#include <gtest/gtest.h>

#include <vector>

#include "panel_harness.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "remote_module.hpp"
#include "support/board_warnings.hpp"
#include "support/cycle_probe.hpp"
#include "uart.hpp"
#include "vars/pvar.hpp"
#include "widgets/widget.hpp"

namespace {

using sim::StopReason;

using cycle_probe::g_runs;

void StartAndWrapTheCycle(sim::PanelHarness& panel) {
    ASSERT_EQ(panel.runUntil([&] { return panel.core().idleTurns() > 0; }, 1000.0),
              StopReason::Condition);
    ASSERT_EQ(_CurrentFrame, 1u) << "start-up shows the welcome screen";
    ASSERT_EQ(table_init_flag, 1u);
    ASSERT_EQ(pfnNullWidgetMsgProc, default_timer_proc);
    cycle_probe::Install(panel.board());
}

bool RunCycles(sim::PanelHarness& panel, size_t n) {
    return cycle_probe::RunCycles(panel, n, 200.0);
}

struct ErrorPaint {
    size_t cycle;
    int32_t value;
};
std::vector<ErrorPaint> g_errorPaints;
void PaintError(VarRecord* v) {
    g_errorPaints.push_back({cycle_probe::g_started, var_get(v)});
}

TEST(ControlCycleOnTheBoard, RunsEvery100msAndStoresTheErrorAfterTheOutputPass) {
    sim::PanelHarness panel;
    StartAndWrapTheCycle(panel);
    ASSERT_TRUE(RunCycles(panel, 1));
    Dev_1_ERROR.display_proc = PaintError;
    Dev_1_ERROR.value = 1;  // as if the last exchange had failed; no repaint pending

    ASSERT_TRUE(RunCycles(panel, 1));
    EXPECT_EQ(Dev_1_ERROR.last_value, 1) << "the output pass ran before the error was stored";
    EXPECT_EQ(Dev_1_ERROR.value, 0) << "stored after the exchange";
    EXPECT_TRUE(g_errorPaints.empty()) << "its change is painted by the next cycle's pass";
    EXPECT_EQ(Dev_1_ERROR.dirty, 1);

    ASSERT_TRUE(RunCycles(panel, 3));
    ASSERT_EQ(g_errorPaints.size(), 1u) << "painted once: var_set marks only a change";
    EXPECT_EQ(g_errorPaints[0].value, 0);
    EXPECT_EQ(g_errorPaints[0].cycle, cycle_probe::g_started - 2);

    ASSERT_GE(g_runs.size(), 5u);
    for (size_t i = 1; i < g_runs.size(); ++i) {
        EXPECT_NEAR(g_runs[i].startMs - g_runs[i - 1].startMs, 100.0, 0.05) << i;
        EXPECT_LT(g_runs[i - 1].endMs, g_runs[i].startMs);
    }
}

// Painting Dev_1_AO5 records how many frames the module had received at that moment.
sim::RemoteModule* g_module = nullptr;
std::vector<size_t> g_exchangesAtPaint;
void PaintAO5(VarRecord* v) {
    (void)var_get(v);
    g_exchangesAtPaint.push_back(g_module->exchanges().size());
}

TEST(ControlCycleOnTheBoard, OutputPassThenExchangeThenErrorFlag) {
    sim::PanelHarness panel;
    StartAndWrapTheCycle(panel);
    g_module = &sim::RemoteModuleOf(panel.board());
    ASSERT_TRUE(RunCycles(panel, 2));
    ASSERT_EQ(Dev_1_ERROR.value, 0);

    Dev_1_AO5.display_proc = PaintAO5;
    var_set(&Dev_1_AO5, 999);
    const size_t exchangesBefore = g_module->exchanges().size();
    sim::Uart1(panel.board()).unplug();
    ASSERT_TRUE(RunCycles(panel, 1));
    ASSERT_EQ(g_exchangesAtPaint.size(), 1u);
    EXPECT_EQ(g_exchangesAtPaint[0], exchangesBefore) << "painted before the exchange";
    EXPECT_EQ(Dev_1_ERROR.value, 1) << "the failed exchange is recorded in the same cycle";
    EXPECT_EQ(Dev_1_ERROR.last_value, 0);
    EXPECT_EQ(Dev_1_AO5.value, 999) << "nothing was read";

    sim::Uart1(panel.board()).connect(g_module);
    EXPECT_FALSE(TakeWarnings(panel.board(), sim::WarningKind::CharacterDropped).empty())
        << "the request sent while unplugged is lost";
    ASSERT_TRUE(RunCycles(panel, 1));
    EXPECT_EQ(g_module->exchanges().size(), exchangesBefore + 1);
    EXPECT_EQ(Dev_1_ERROR.value, 0);
    EXPECT_EQ(Dev_1_AO5.dirty, 1) << "the value read in this cycle is painted in the next";
    ASSERT_TRUE(RunCycles(panel, 1));
    ASSERT_EQ(g_exchangesAtPaint.size(), 2u);
    EXPECT_EQ(g_exchangesAtPaint[1], exchangesBefore + 1);
}

}  // namespace
