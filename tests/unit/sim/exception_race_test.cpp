// The same exception rules on both processors, shown where they matter: an interrupt that falls
// between the message queue's exclusive load and its store makes the store fail, and the
// firmware drops its message, on the host build and on the real image alike. The two run side
// by side in this process, each on a board of its own, and a third board, made after the second
// is gone, runs the image without the race for comparison.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "arm_core.hpp"
#include "nvic.hpp"
#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "remote_module.hpp"
#include "uart.hpp"

namespace {

using sim::StopReason;

struct Outcome {
    bool loaded = false;         // the processor made the exclusive load
    uint32_t interrupted = 0;    // on the image: the instruction the UART's interrupt came before
    std::vector<uint8_t> soon;   // the screen 50 ms after it
    std::vector<uint8_t> later;  // and a cycle after that
    std::vector<uint8_t> line;   // every request and answer, in order
};

std::unique_ptr<sim::PanelHarness> HostPanel() {
    return std::make_unique<sim::PanelHarness>();
}

std::vector<uint32_t> exclusiveLoads;  // of the image

std::unique_ptr<sim::PanelHarness> ImagePanel() {
    auto panel = std::make_unique<sim::PanelHarness>(sim::BoardConfig{},
                                                     sim::PanelHarness::Firmware::None);
    std::string error;
    std::unique_ptr<sim::arm::ArmCore> core =
        sim::arm::ArmCore::Load(panel->board(), PANEL_FIRMWARE_IMAGE, &error);
    EXPECT_TRUE(core) << error;
    if (core) {
        exclusiveLoads = core->exclusiveLoads();
        panel->fitCore(std::move(core));
    }
    return panel;
}

// Screen 3 (WEJSCIA) with the module holding still; then the module changes input DI1, and
// the control cycle's output pass queues the paint of its label from the main loop: the first
// exclusive load after the change. With `race`, an interrupt is pended right after it (the
// UART's; its handler finds nothing to do).
Outcome ChangeAnInput(sim::PanelHarness& panel, bool race) {
    sim::Board& board = panel.board();
    sim::RemoteModule& module = sim::RemoteModuleOf(board);
    module.process().setRunning(false);
    Outcome outcome;
    EXPECT_EQ(panel.runUntil([&] { return panel.core().idleTurns() > 0; }, 1000.0),
              StopReason::Condition);
    for (const auto& [x, y] : {std::pair{158, 171}, std::pair{120, 208}}) {  // WEJDZ, WEJSCIA
        sim::TouchOf(board).press(x, y);
        panel.runForMs(100);
        sim::TouchOf(board).release();
        panel.runForMs(400);
    }
    module.process().set(3, 1);
    if (auto* image = dynamic_cast<sim::arm::ArmCore*>(&panel.core())) {
        image->onException([&outcome](const sim::arm::ExceptionEntry& entry) {
            if (entry.exception == sim::kFirstPeripheralException + sim::Uart::kIrq &&
                outcome.loaded && outcome.interrupted == 0) {
                outcome.interrupted = entry.returnAddress;
            }
        });
    }
    panel.core().afterNextExclusiveLoad([&] {
        outcome.loaded = true;
        if (race) {
            board.nvic().write(sim::nvic::PEND, 1u << sim::Uart::kIrq);
        }
    });
    EXPECT_EQ(panel.runUntil([&] { return outcome.loaded; }, 500.0), StopReason::Condition);
    panel.runForMs(50);
    outcome.soon = sim::DisplayOf(board).renderRgb();
    EXPECT_EQ(panel.runForMs(500), StopReason::Deadline) << panel.core().haltReason();
    outcome.later = sim::DisplayOf(board).renderRgb();
    for (const sim::RemoteModule::Exchange& exchange : module.exchanges()) {
        outcome.line.insert(outcome.line.end(), exchange.request.begin(), exchange.request.end());
        outcome.line.insert(outcome.line.end(), exchange.answer.begin(), exchange.answer.end());
    }
    return outcome;
}

TEST(ExceptionRace, AnInterruptBetweenTheExclusiveLoadAndStoreDropsTheMessageOnBothCores) {
    ASSERT_TRUE(std::ifstream(PANEL_FIRMWARE_IMAGE).good())
        << "the target image is missing: build the target-release preset (" PANEL_FIRMWARE_IMAGE
           ")";
    Outcome host;
    Outcome image;
    {
        // Side by side: both boards live at once, each with its own firmware state.
        std::unique_ptr<sim::PanelHarness> hostPanel = HostPanel();
        std::unique_ptr<sim::PanelHarness> imagePanel = ImagePanel();
        ASSERT_TRUE(imagePanel->hasCore());
        host = ChangeAnInput(*hostPanel, true);
        image = ChangeAnInput(*imagePanel, true);
    }
    Outcome calm;
    {
        // One after the other: a new board, the image without the race.
        std::unique_ptr<sim::PanelHarness> imagePanel = ImagePanel();
        ASSERT_TRUE(imagePanel->hasCore());
        calm = ChangeAnInput(*imagePanel, false);
    }
    ASSERT_TRUE(host.loaded) << "the host build made an exclusive load";
    ASSERT_TRUE(image.loaded) << "the image made an exclusive load";
    // Taken right between the two instructions, not where the emulator's block ends.
    ASSERT_EQ(exclusiveLoads.size(), 1u) << "the queue's mutex is the image's one exclusive load";
    EXPECT_EQ(image.interrupted, exclusiveLoads[0] + 4);
    EXPECT_TRUE(host.soon == image.soon) << "the same screen on both processors";
    EXPECT_TRUE(host.later == image.later) << "and a cycle later";
    EXPECT_EQ(host.line, image.line) << "the same bytes on the line";
    EXPECT_EQ(image.line, calm.line) << "the race touches the screen only";
    // The label's paint was the message dropped: without the race it shows the new value at
    // once; with it, a cycle later (the change mark stays when the queue refuses a paint).
    EXPECT_FALSE(image.soon == calm.soon) << "the store failed and the paint was dropped";
    EXPECT_TRUE(image.later == calm.later) << "the next cycle paints the value";
}

}  // namespace

namespace {

// The host-compiled firmware's globals are one set per process, so one host board runs at a
// time; the next one made starts the firmware afresh, as a reset would.
TEST(HostFirmware, EachNewBoardStartsTheFirmwareAfresh) {
    std::vector<uint32_t> ticks;
    std::vector<std::vector<uint8_t>> screens;
    for (int board = 0; board < 2; ++board) {
        sim::PanelHarness panel;
        sim::RemoteModuleOf(panel.board()).process().setRunning(false);
        ASSERT_EQ(panel.runUntilMs(900.0), StopReason::Deadline) << panel.core().haltReason();
        ticks.push_back(panel.core().exceptionsTaken(sim::kExceptionSysTick));
        screens.push_back(sim::DisplayOf(panel.board()).renderRgb());
        // Leave the firmware elsewhere: the next board must not find it there.
        sim::TouchOf(panel.board()).press(158, 171);
        panel.runForMs(100);
        sim::TouchOf(panel.board()).release();
        panel.runForMs(400);
    }
    EXPECT_EQ(ticks[0], ticks[1]);
    EXPECT_TRUE(screens[0] == screens[1]) << "the welcome screen, both times";
}

}  // namespace
