// Costs of the firmware's hot paths on the host, and of the simulated board itself.
#include <benchmark/benchmark.h>

#include <array>

#include "graphics/hmi.hpp"
#include "support/fresh_board.hpp"
#include "widgets/widget.hpp"

namespace {

void BM_Crc16OfAWriteFrame(benchmark::State& state) {
    std::array<uint8_t, 51> frame{};
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<uint8_t>(i * 7);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(CRC16(frame.data(), static_cast<uint16_t>(frame.size())));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frame.size()));
}
BENCHMARK(BM_Crc16OfAWriteFrame);

uint32_t Claim(WidgetRecord*, uint32_t, uint32_t, uint32_t) {
    return 1;
}

// One pointer message through the queue: add (mutex, exclusive access on the board) and
// delivery in post-order to the claiming widget.
void BM_QueueAddAndDeliver(benchmark::State& state) {
    sim::Board& board = FreshBoard();
    WidgetRecord widget = {sizeof(WidgetRecord), nullptr, nullptr, nullptr, nullptr,
                           {0, 0, 0, 0},         Claim};
    WidgetAdd(&g_sRoot, &widget);
    const sim::Cycles start = board.scheduler().now();
    for (auto _ : state) {
        WidgetPointerMessage(MSG_POINTER_DOWN, 1, 2);
        WidgetMessageQueueProcess();
    }
    state.counters["sim_cycles_per_message"] =
        benchmark::Counter(static_cast<double>(board.scheduler().now() - start) /
                           static_cast<double>(state.iterations()));
    WidgetRemove(&widget);
}
BENCHMARK(BM_QueueAddAndDeliver);

}  // namespace
