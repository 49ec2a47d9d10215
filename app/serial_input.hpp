// Characters from the far side of the line, played into the panel at given virtual times, back
// to back at the line's character time (serial-in).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "board.hpp"
#include "line_tap.hpp"

namespace app {

class SerialInput {
  public:
    SerialInput(sim::Board& board, LineTap& tap) : board_(board), tap_(tap) {}

    // The first character `ms` from now, the others each a character time after the one before.
    void send(double ms, std::vector<uint8_t> bytes);

    // How far apart a sender on the line spaces its characters: whole cycles of the board's
    // clock.
    static sim::Picoseconds CharacterStep(const sim::Scheduler& scheduler,
                                          const sim::LineFormat& format);

  private:
    void deliverAt(sim::Picoseconds at, std::shared_ptr<const std::vector<uint8_t>> bytes,
                   size_t index);

    sim::Board& board_;
    LineTap& tap_;
};

}  // namespace app
