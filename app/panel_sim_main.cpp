// panel-sim: the panel firmware running on the simulated board.
//
// Until the display model lands this is the headless mode only: it runs the firmware for a span
// of virtual time and reports what the board did once per simulated second.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "project/_frame0.hpp"
#include "widgets/widget.hpp"

namespace {

void Usage() {
    std::printf(
        "usage: panel-sim [--seconds N] [--screenshot FILE.png]\n"
        "  Runs the panel firmware on the simulated board for N seconds of virtual time\n"
        "  (default 5) and prints the board's state once per simulated second.\n"
        "  --screenshot saves the screen as the panel shows it at the end.\n");
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 5.0;
    std::string screenshot;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || seconds <= 0) {
                std::fprintf(stderr, "panel-sim: --seconds needs a positive number\n");
                return 2;
            }
        } else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            screenshot = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Usage();
            return 0;
        } else {
            std::fprintf(stderr, "panel-sim: unknown argument '%s'\n", argv[i]);
            Usage();
            return 2;
        }
    }

    sim::PanelHarness panel;
    sim::Board& board = panel.board();
    std::printf("panel-sim: running the panel firmware for %.1f s of virtual time\n", seconds);
    for (int second = 1; second <= static_cast<int>(seconds + 0.999); ++second) {
        const sim::StopReason reason = panel.runUntilMs(std::min(seconds, double(second)) * 1000.0);
        std::printf("t=%7.3f s  clock=%u Hz  ticks=%u  cycles=%llu  idle-hints=%llu\n",
                    panel.nowMs() / 1000.0, board.sysctl().clockHz(), g_TimerTicksCount,
                    static_cast<unsigned long long>(board.scheduler().now()),
                    static_cast<unsigned long long>(board.idleHints()));
        if (reason == sim::StopReason::Halted) {
            std::printf("panel-sim: the firmware stopped: %s\n",
                        board.runner().haltReason().c_str());
            return 1;
        }
    }
    if (!screenshot.empty()) {
        std::string error;
        if (!sim::DisplayOf(board).savePng(screenshot, &error)) {
            std::fprintf(stderr, "panel-sim: cannot save %s: %s\n", screenshot.c_str(),
                         error.c_str());
            return 1;
        }
        std::printf("panel-sim: screen saved to %s\n", screenshot.c_str());
    }
    return 0;
}
