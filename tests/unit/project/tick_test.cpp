// The tick counter's wrap: the control cycle is requested on multiples of ten of the wrapped
// count, so once every 2^32 ticks two requests come six ticks apart.
#include <gtest/gtest.h>

#include <vector>

#include "project/_frame0.hpp"
#include "widgets/widget.hpp"

namespace {

TEST(TickCounter, WrapsToZeroAndRequestsCyclesOnTheWrappedCount) {
    table_init_flag = 1;
    g_TimerTicksCount = 0xFFFFFFFFu - 12;  // 4294967283
    std::vector<uint32_t> requestedAt;
    for (int i = 0; i < 30; ++i) {
        const uint32_t before = g_ulToCheckIO;
        hmi_TimerTrigger();
        if (g_ulToCheckIO != before) {
            requestedAt.push_back(g_TimerTicksCount);
        }
    }
    EXPECT_EQ(g_TimerTicksCount, 17u);
    EXPECT_EQ(requestedAt, (std::vector<uint32_t>{4294967290u, 0u, 10u}));
}

}  // namespace
