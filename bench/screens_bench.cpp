// Screen changes on the simulated panel: how long each screen takes to build and paint in the
// target's time (virtual milliseconds at 50 MHz), and how many pixels it writes.
#include <benchmark/benchmark.h>

#include "display/hmi_Init.hpp"
#include "panel_models.hpp"
#include "periph/sysctl.hpp"
#include "project/_frame0.hpp"
#include "support/fresh_board.hpp"

namespace {

void BM_ScreenChange(benchmark::State& state) {
    const auto frame = static_cast<uint32_t>(state.range(0));
    sim::Board& board = FreshBoard();
    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
    hmi_Init(1);
    const sim::DisplayModule& display = sim::DisplayOf(board);
    double virtualMs = 0;
    double pixels = 0;
    double changes = 0;
    for (auto _ : state) {
        const double start = board.nowMs();
        const uint64_t pixels0 = display.pixelsWritten();
        hmi_GotoFrame(frame);
        virtualMs += board.nowMs() - start;
        pixels += static_cast<double>(display.pixelsWritten() - pixels0);
        changes += 1;
    }
    state.counters["target_ms"] = virtualMs / changes;
    state.counters["pixels"] = pixels / changes;
}
BENCHMARK(BM_ScreenChange)->DenseRange(1, 5)->Unit(benchmark::kMillisecond);

}  // namespace
