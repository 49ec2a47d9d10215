// End to end: the simulated panel on a pseudo-terminal, the stand-alone remote module (whose
// Modbus code is libmodbus's, not ours) on the other end, both in real time.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "panel_harness.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "serial_bridge.hpp"
#include "support/child_process.hpp"
#include "support/cycle_probe.hpp"
#include "uart.hpp"
#include "vars/pvar.hpp"
#include "widgets/widget.hpp"

namespace {

using namespace std::chrono_literals;
using sim::StopReason;

// Runs the panel until the condition holds after a whole cycle, for at most `cycles` cycles;
// returns the number of cycles it took, or cycles + 1 if it never held.
size_t CyclesUntil(sim::PanelHarness& panel, const std::function<bool()>& condition,
                   size_t cycles) {
    for (size_t n = 1; n <= cycles; ++n) {
        if (!cycle_probe::RunCycles(panel, 1)) {
            return cycles + 1;
        }
        if (condition()) {
            return n;
        }
    }
    return cycles + 1;
}

TEST(AgainstTheModuleTool, ValuesCrossTheLineBothWaysAndAStoppedPeerIsAnError) {
    sim::PanelHarness panel;
    std::string error;
    auto bridge = sim::SerialBridge::OpenPseudoTerminal(panel.board().scheduler(), {}, &error);
    ASSERT_TRUE(bridge) << error;
    sim::Uart1(panel.board()).connect(bridge.get());

    ChildProcess tool({REMOTE_MODULE_TOOL, "--device", bridge->peerPath(), "--static"});
    ASSERT_TRUE(tool.running());
    ASSERT_TRUE(tool.waitForLine("ready " + bridge->peerPath(), 10s));

    ASSERT_EQ(panel.runUntil([&] { return panel.core().idleTurns() > 0; }, 1000.0),
              StopReason::Condition);
    cycle_probe::Install(panel.board());
    ASSERT_LE(CyclesUntil(
                  panel, [] { return Dev_1_ERROR.value == 0; }, 3),
              3u);

    // A value the peer holds appears in the panel's variable within two cycles.
    tool.send("set 105 1234");
    ASSERT_TRUE(tool.waitForLine("ok", 5s));
    EXPECT_LE(CyclesUntil(
                  panel, [] { return Dev_1_AO7.value == 1234; }, 4),
              2u);
    tool.send("set 117 65535");
    ASSERT_TRUE(tool.waitForLine("ok", 5s));
    EXPECT_LE(CyclesUntil(
                  panel, [] { return Dev_1_AO19.value == 65535; }, 4),
              2u)
        << "registers are unsigned 16-bit";

    // An operator change reaches the peer within two cycles.
    var_set_write_data(&Dev_1_AO10, 1);
    var_set_write_data(&Dev_1_AO21, 1);
    EXPECT_LE(CyclesUntil(
                  panel, [] { return Dev_1_AO10.flags == 0 && Dev_1_ERROR.value == 0; }, 4),
              2u);
    EXPECT_TRUE(tool.waitForLine("write 108 1", 2s));
    tool.send("get 119");
    EXPECT_TRUE(tool.waitForLine("value 119 1", 2s));
    var_set_write_data(&Dev_1_AO21, 0);
    EXPECT_LE(CyclesUntil(
                  panel, [] { return Dev_1_AO21.flags == 0; }, 4),
              2u);
    EXPECT_TRUE(tool.waitForLine("request email", 2s));
    EXPECT_EQ(Dev_1_AO7.value, 1234) << "the peer keeps what the panel wrote back";

    // A stopped peer leaves the panel without answers.
    tool.stop();
    EXPECT_LE(CyclesUntil(
                  panel, [] { return Dev_1_ERROR.value == 1; }, 3),
              1u);
    EXPECT_LE(CyclesUntil(
                  panel, [] { return Dev_1_ERROR.value == 1; }, 1),
              1u)
        << "and stays";
    EXPECT_EQ(Dev_1_AO7.value, 1234);
    EXPECT_TRUE(sim::Uart1(panel.board()).lineErrors().empty());
    sim::Uart1(panel.board()).unplug();
}

}  // namespace
