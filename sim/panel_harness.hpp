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

  private:
    std::unique_ptr<Board> board_;
    std::unique_ptr<Core> core_;
};

}  // namespace sim
