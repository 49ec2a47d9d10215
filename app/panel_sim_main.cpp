// panel-sim: the panel firmware running on the simulated board, in a window, headless or from
// a script.
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "options.hpp"
#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "script.hpp"
#include "serial_bridge.hpp"
#include "uart.hpp"
#include "window.hpp"

namespace {

// Puts a host serial device or a new pseudo-terminal on UART1's line in place of the module.
std::unique_ptr<sim::SerialBridge> ConnectSerial(sim::Board& board, const app::Options& options) {
    std::string error;
    std::unique_ptr<sim::SerialBridge> bridge =
        options.serialPty
            ? sim::SerialBridge::OpenPseudoTerminal(board.scheduler(), {}, &error)
            : sim::SerialBridge::OpenDevice(board.scheduler(), options.serialDevice, {}, &error);
    if (!bridge) {
        std::fprintf(stderr, "panel-sim: %s\n", error.c_str());
        return nullptr;
    }
    sim::Uart1(board).connect(bridge.get());
    std::printf("panel-sim: UART1 on %s (115200 8N1), paced to real time\n",
                bridge->peerPath().c_str());
    std::fflush(stdout);
    return bridge;
}

int RunHeadless(sim::PanelHarness& panel, const app::Options& options) {
    sim::Board& board = panel.board();
    std::printf("panel-sim: running the panel firmware for %.1f s of virtual time\n",
                options.seconds);
    for (double until = 1.0;; until += 1.0) {
        const double stop = std::min(until, options.seconds);
        if (panel.runUntilMs(stop * 1000.0) == sim::StopReason::Halted) {
            std::printf("panel-sim: the firmware stopped: %s\n",
                        board.runner().haltReason().c_str());
            return 1;
        }
        std::printf("%s\n", app::StatusLine(panel).c_str());
        std::fflush(stdout);
        if (stop >= options.seconds) {
            return 0;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const std::optional<app::Options> parsed = app::ParseOptions(argc, argv, exitCode);
    if (!parsed) {
        return exitCode;
    }
    const app::Options& options = *parsed;
    sim::PanelHarness panel(options.board);
    std::unique_ptr<sim::SerialBridge> bridge;
    if (options.serialPty || !options.serialDevice.empty()) {
        bridge = ConnectSerial(panel.board(), options);
        if (!bridge) {
            return 1;
        }
    }

    int result = 0;
    switch (options.mode) {
        case app::Options::Mode::Window:
            result = app::RunWindow(panel, options);
            if (result < 0) {
                std::fprintf(stderr, "panel-sim: running headless instead (see --help)\n");
                result = RunHeadless(panel, options);
            }
            break;
        case app::Options::Mode::Headless:
            result = RunHeadless(panel, options);
            break;
        case app::Options::Mode::Script: {
            std::ifstream script(options.script);
            if (!script) {
                std::fprintf(stderr, "panel-sim: cannot read %s\n", options.script.c_str());
                return 2;
            }
            result = app::RunScript(panel, script, options.script);
            break;
        }
    }
    // What the firmware did that the board does not model; a script run fails on it.
    const std::vector<sim::BoardWarning> warnings = sim::TakeBoardWarnings();
    for (const sim::BoardWarning& warning : warnings) {
        std::fprintf(stderr, "panel-sim: %s\n", sim::Describe(warning).c_str());
    }
    if (!warnings.empty() && options.mode == app::Options::Mode::Script && result == 0) {
        result = 1;
    }
    if (!options.screenshot.empty()) {
        std::string error;
        if (!sim::DisplayOf(panel.board()).savePng(options.screenshot, &error)) {
            std::fprintf(stderr, "panel-sim: cannot save %s: %s\n", options.screenshot.c_str(),
                         error.c_str());
            return 1;
        }
        std::printf("panel-sim: screen saved to %s\n", options.screenshot.c_str());
    }
    return result;
}
