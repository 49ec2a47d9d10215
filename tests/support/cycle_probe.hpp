// Scenario-test support: records every run of the control cycle by wrapping the null-widget
// procedure the firmware registered (the runtime calls it through that variable).
#pragma once

#include <cstdint>
#include <vector>

#include "panel_harness.hpp"
#include "project/_frame0.hpp"
#include "widgets/widget.hpp"

namespace cycle_probe {

struct Run {
    uint32_t startTick;  // g_TimerTicksCount when the cycle began
    uint32_t endTick;    // and when it ended
    double startMs;
    double endMs;
};

inline sim::Board* g_board = nullptr;
inline WidgetMsgProc g_wrapped = nullptr;
inline std::vector<Run> g_runs;  // completed cycles
inline size_t g_started = 0;     // cycles begun, the one running included

inline uint32_t Probe(WidgetRecord* widget, uint32_t message, uint32_t param1, uint32_t param2) {
    ++g_started;
    Run run{g_TimerTicksCount, 0, g_board->nowMs(), 0};
    const uint32_t result = g_wrapped(widget, message, param1, param2);
    run.endTick = g_TimerTicksCount;
    run.endMs = g_board->nowMs();
    g_runs.push_back(run);
    return result;
}

// Wraps whatever procedure is registered now.
inline void Install(sim::Board& board) {
    g_board = &board;
    g_wrapped = pfnNullWidgetMsgProc;
    pfnNullWidgetMsgProc = Probe;
}

inline size_t Completed() {
    return g_runs.size();
}

// Runs until n more cycles have completed, allowing timeoutPerCycleMs of virtual time each.
inline bool RunCycles(sim::PanelHarness& panel, size_t n, double timeoutPerCycleMs = 300.0) {
    const size_t target = g_runs.size() + n;
    return panel.runUntil([target] { return g_runs.size() >= target; },
                          timeoutPerCycleMs * static_cast<double>(n) + 100.0) ==
           sim::StopReason::Condition;
}

}  // namespace cycle_probe
