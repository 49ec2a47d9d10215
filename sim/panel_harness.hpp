// Scenario harness: the whole panel firmware on the simulated board. Starts the firmware at its
// reset entry and lets it run until a virtual time or a condition; between runs the firmware is
// stopped at a sim point and its globals and the models can be read and changed freely.
#pragma once

#include <functional>

#include "board.hpp"

namespace sim {

class PanelHarness {
  public:
    // One per process: the firmware's globals are its state, as on the target.
    explicit PanelHarness(const BoardConfig& config = {});
    PanelHarness(const PanelHarness&) = delete;
    PanelHarness& operator=(const PanelHarness&) = delete;

    Board& board() { return board_; }

    // Starts the firmware (reset) without running it yet.
    void start();
    // Runs until virtual time t (in ms since reset), or for a span of virtual time.
    StopReason runUntilMs(double t);
    StopReason runForMs(double span) { return runUntilMs(board_.nowMs() + span); }
    // Runs until the condition holds at a sim point, for at most timeoutMs of virtual time.
    StopReason runUntil(const std::function<bool()>& condition, double timeoutMs);

    double nowMs() const { return board_.nowMs(); }

  private:
    Board& board_;
};

}  // namespace sim
