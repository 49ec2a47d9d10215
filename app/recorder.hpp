// Records a session as a script that replays it: each bench command that changed something
// (a finger move, a fault, a register; the line its registry entry gives) after a `wait` that
// brings virtual time to the exact picosecond it happened at, and every
// character a real peer sent as `serial-in` lines scheduled from the last such point.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "scheduler.hpp"

namespace app {

class Recorder {
  public:
    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Opens the file and writes its heading (`boardOptions`: what the replay must be run with).
    bool open(const std::string& path, const std::string& boardOptions, std::string* why);
    bool isOpen() const { return out_ != nullptr; }

    // A command that happened at time `at` (the harness's current time).
    void command(sim::Picoseconds at, const std::string& text);
    // A character from a real peer arriving at the panel at `at` (during a run).
    // Characters `step` apart share a line.
    void peerByte(sim::Picoseconds at, uint8_t byte, sim::Picoseconds step);
    // Brings the script to the end time and closes it.
    void close(sim::Picoseconds at);

    // "1234.000000020": picoseconds as milliseconds, exactly.
    static std::string Milliseconds(sim::Picoseconds ps);

  private:
    void flushPeerBytes();

    std::FILE* out_ = nullptr;
    sim::Picoseconds point_ = 0;  // time of the last `wait`
    // Characters of one back-to-back run from the peer, not yet written.
    std::vector<uint8_t> peerBytes_;
    sim::Picoseconds peerStart_ = 0;
    sim::Picoseconds peerLast_ = 0;
};

}  // namespace app
