#include "panel_harness.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/startup.hpp"
#include "host_core.hpp"

namespace sim {

namespace {
Picoseconds ToPs(double ms) {
    return static_cast<Picoseconds>(std::llround(ms * static_cast<double>(kPsPerMs)));
}
}  // namespace

PanelHarness::PanelHarness(const BoardConfig& config, Firmware firmware)
    : board_(std::make_unique<Board>(config)) {
    if (firmware == Firmware::Host) {
        core_ = std::make_unique<HostCore>(*board_, g_pfnVectors, kVectorCount,
                                           HostCore::Mode::Threaded);
    }
}

// The processor goes before the board it sits on.
PanelHarness::~PanelHarness() {
    core_.reset();
}

void PanelHarness::fitCore(std::unique_ptr<Core> core) {
    if (core_ && core_->started()) {
        std::fprintf(stderr, "PanelHarness: the processor cannot be changed once it runs\n");
        std::abort();
    }
    core_.reset();
    core_ = std::move(core);
    board_->fitCore(core_.get());
}

StopReason PanelHarness::run(Picoseconds deadline, const std::function<bool()>& condition) {
    if (holding_ && stoppedWhileHeld_) {
        return StopReason::Debug;
    }
    for (;;) {
        const StopReason reason = core_->runUntil(deadline, condition);
        if (reason != StopReason::Debug || !hold_) {
            return reason;
        }
        if (holding_) {
            stoppedWhileHeld_ = true;
            return reason;
        }
        holding_ = true;
        const bool goOn = hold_();
        holding_ = false;
        stoppedWhileHeld_ = false;
        if (!goOn) {
            return StopReason::Halted;
        }
    }
}

StopReason PanelHarness::runUntilMs(double t) {
    return run(ToPs(t), nullptr);
}

StopReason PanelHarness::runUntil(const std::function<bool()>& condition, double timeoutMs) {
    if (condition()) {
        return StopReason::Condition;
    }
    return run(ToPs(board_->nowMs() + timeoutMs), condition);
}

}  // namespace sim
