// Hashes (FNV-1a, 64 bits) of everything a session showed and said: every word the display
// controller took, in order (so every picture it showed), and every character on the line with
// its direction and virtual time. A replay of a recording prints the same.
#pragma once

#include <cstdint>

#include "display_module.hpp"
#include "line_tap.hpp"

namespace app {

class SessionHashes {
  public:
    SessionHashes(sim::DisplayModule& display, LineTap& tap);
    ~SessionHashes();
    SessionHashes(const SessionHashes&) = delete;
    SessionHashes& operator=(const SessionHashes&) = delete;

    // One line on standard output, with a hash of the screen as it is now.
    void print(sim::Picoseconds now) const;

  private:
    void line(Direction direction, uint8_t byte, sim::Picoseconds at);
    void word(const sim::DisplayModule::Latched& latched);

    sim::DisplayModule& display_;
    uint64_t screenHash_;
    uint64_t displayWords_ = 0;
    uint64_t lineHash_;
    uint64_t lineBytes_ = 0;
};

}  // namespace app
