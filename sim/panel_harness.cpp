#include "panel_harness.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/startup.hpp"

namespace sim {

namespace {
bool g_harnessCreated = false;

Picoseconds ToPs(double ms) {
    return static_cast<Picoseconds>(std::llround(ms * static_cast<double>(kPsPerMs)));
}
}  // namespace

PanelHarness::PanelHarness(const BoardConfig& config) : board_(Board::reset(config)) {
    if (g_harnessCreated) {
        std::fprintf(stderr,
                     "PanelHarness: one firmware per process (run scenarios through ctest)\n");
        std::abort();
    }
    g_harnessCreated = true;
    board_.setVectorTable(g_pfnVectors, kVectorCount);
}

void PanelHarness::start() {
    if (!board_.runner().started()) {
        board_.startFirmware();
    }
}

StopReason PanelHarness::runUntilMs(double t) {
    start();
    return board_.runner().runUntil(ToPs(t), nullptr);
}

StopReason PanelHarness::runUntil(const std::function<bool()>& condition, double timeoutMs) {
    start();
    if (condition()) {
        return StopReason::Condition;
    }
    return board_.runner().runUntil(ToPs(board_.nowMs() + timeoutMs), condition);
}

}  // namespace sim
