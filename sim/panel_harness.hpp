// Scenario harness: the whole panel firmware on the simulated board. It owns a board and the
// processor fitted to it — the host-compiled firmware's (the default) or the emulated core with
// the real image — starts the firmware at its reset entry and lets it run until a virtual time
// or a condition; between runs the firmware is stopped at an instruction boundary (a sim point
// on the host) and its state and the models can be read and changed freely.
#pragma once

#include <functional>
#include <memory>

#include "board.hpp"
#include "core.hpp"

namespace sim {

class PanelHarness {
  public:
    enum class Firmware {
        Host,  // the host-compiled firmware (one per process at a time: its globals are its state)
        None,  // no processor yet: fit one with fitCore() (the image on the emulated core)
    };
    explicit PanelHarness(const BoardConfig& config = {}, Firmware firmware = Firmware::Host);
    ~PanelHarness();
    PanelHarness(const PanelHarness&) = delete;
    PanelHarness& operator=(const PanelHarness&) = delete;

    Board& board() { return *board_; }
    Core& core() { return *core_; }
    bool hasCore() const { return core_ != nullptr; }
    // Puts another processor in the socket before the firmware starts; the one there goes.
    void fitCore(std::unique_ptr<Core> core);

    // Runs until virtual time t (in ms since reset), or for a span of virtual time.
    StopReason runUntilMs(double t);
    StopReason runForMs(double span) { return runUntilMs(board_->nowMs() + span); }
    // Runs until the condition holds at a sim point, for at most timeoutMs of virtual time.
    StopReason runUntil(const std::function<bool()>& condition, double timeoutMs);

    double nowMs() const { return board_->nowMs(); }

    // A debugger holds the firmware where the processor stopped for it (StopReason::Debug):
    // `hold` returns when the run may go on (true) or has been ended (false: the run returns
    // Halted). Runs made while it holds (a debugger's monitor command) do not hold again: a stop
    // of theirs returns Debug at once, and so does every further run of that hold, for the
    // debugger to report when it next resumes.
    void setDebugHold(std::function<bool()> hold) { hold_ = std::move(hold); }
    bool holding() const { return holding_; }
    bool stoppedWhileHeld() const { return stoppedWhileHeld_; }
    // The debugger has reported that stop: runs of the hold may go on again.
    void acknowledgeStop() { stoppedWhileHeld_ = false; }

  private:
    StopReason run(Picoseconds deadline, const std::function<bool()>& condition);

    std::unique_ptr<Board> board_;
    std::unique_ptr<Core> core_;
    std::function<bool()> hold_;
    bool holding_ = false;
    bool stoppedWhileHeld_ = false;
};

}  // namespace sim
