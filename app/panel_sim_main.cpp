// panel-sim: the panel firmware running on the simulated board.
//
// Until the display model lands this is the headless mode only: it runs the firmware for a span
// of virtual time and reports what the board did once per simulated second.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "panel_harness.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "serial_bridge.hpp"
#include "uart.hpp"
#include "widgets/widget.hpp"

namespace {

void Usage() {
    std::printf(
        "usage: panel-sim [--seconds N] [--serial PATH | --serial-pty]\n"
        "  Runs the panel firmware on the simulated board for N seconds of virtual time\n"
        "  (default 5) and prints the board's state once per simulated second.\n"
        "  --serial PATH  UART1 on a host serial device instead of the module model\n"
        "  --serial-pty   UART1 on a new pseudo-terminal (its path is printed)\n"
        "  With either, virtual time runs at the pace of real time.\n");
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 5.0;
    std::string serialPath;
    bool serialPty = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || seconds <= 0) {
                std::fprintf(stderr, "panel-sim: --seconds needs a positive number\n");
                return 2;
            }
        } else if (std::strcmp(argv[i], "--serial") == 0 && i + 1 < argc) {
            serialPath = argv[++i];
        } else if (std::strcmp(argv[i], "--serial-pty") == 0) {
            serialPty = true;
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
    std::unique_ptr<sim::SerialBridge> bridge;
    if (serialPty || !serialPath.empty()) {
        std::string error;
        bridge = serialPty
                     ? sim::SerialBridge::OpenPseudoTerminal(board.scheduler(), {}, &error)
                     : sim::SerialBridge::OpenDevice(board.scheduler(), serialPath, {}, &error);
        if (!bridge) {
            std::fprintf(stderr, "panel-sim: %s\n", error.c_str());
            return 1;
        }
        sim::Uart1(board).connect(bridge.get());
        std::printf("panel-sim: UART1 on %s (115200 8N1), paced to real time\n",
                    bridge->peerPath().c_str());
        std::fflush(stdout);
    }
    std::printf("panel-sim: running the panel firmware for %.1f s of virtual time\n", seconds);
    for (int second = 1; second <= static_cast<int>(seconds + 0.999); ++second) {
        const sim::StopReason reason = panel.runUntilMs(std::min(seconds, double(second)) * 1000.0);
        std::printf("t=%7.3f s  clock=%u Hz  ticks=%u  cycles=%llu  idle-hints=%llu\n",
                    panel.nowMs() / 1000.0, board.sysctl().clockHz(), g_TimerTicksCount,
                    static_cast<unsigned long long>(board.scheduler().now()),
                    static_cast<unsigned long long>(board.idleHints()));
        if (bridge) {
            std::printf("           serial: %llu bytes out, %llu in, Dev_1_ERROR=%d\n",
                        static_cast<unsigned long long>(bridge->bytesToPeer()),
                        static_cast<unsigned long long>(bridge->bytesFromPeer()),
                        static_cast<int>(Dev_1_ERROR.value));
        }
        std::fflush(stdout);
        if (reason == sim::StopReason::Halted) {
            std::printf("panel-sim: the firmware stopped: %s\n",
                        board.runner().haltReason().c_str());
            return 1;
        }
    }
    return 0;
}
