// The display path: a full-screen fill through the landscape driver, the GPIO bus and the
// display module. Reports the bus cost per pixel and the simulator's pixel rate.
#include <benchmark/benchmark.h>

#include "display/FoxLink320x240x16_HX8347A.hpp"
#include "panel_models.hpp"
#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"

namespace {

uint64_t GpioStores(sim::Board& board) {
    uint64_t stores = 0;
    for (const char port : {'A', 'B', 'C', 'D', 'E', 'F', 'G'}) {
        stores += board.accessCounts(std::string("GPIO port ") + port).writes;
    }
    return stores;
}

void BM_FullScreenFill(benchmark::State& state) {
    sim::Board& board = FreshBoard();
    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
    FoxLink320x240x16_HX8347A_Init();
    const sim::DisplayModule& display = sim::DisplayOf(board);
    const Rect screen{0, 0, 319, 239};
    const uint64_t pixels0 = display.pixelsWritten();
    const uint64_t stores0 = GpioStores(board);
    const sim::Cycles cycles0 = board.scheduler().now();
    uint32_t colour = 0;
    for (auto _ : state) {
        FoxLink320x240x16_HX8347A_RectFill(nullptr, &screen, colour++);
    }
    const double pixels = static_cast<double>(display.pixelsWritten() - pixels0);
    state.counters["gpio_stores_per_pixel"] =
        static_cast<double>(GpioStores(board) - stores0) / pixels;
    state.counters["sim_cycles_per_pixel"] =
        static_cast<double>(board.scheduler().now() - cycles0) / pixels;
    state.counters["pixels_per_second"] = benchmark::Counter(pixels, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FullScreenFill)->Unit(benchmark::kMillisecond);

}  // namespace
