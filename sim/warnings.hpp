// Board warnings: something the firmware did that the board does not model or that loses data —
// an access to an offset no register answers, a store to a read-only or a load from a write-only
// register, a character the UART drops. The board keeps going and records each in its own log;
// tests require the log empty at the end, panel-sim prints it at exit.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device.hpp"
#include "scheduler.hpp"

namespace sim {

struct BoardWarning {
    WarningKind kind;
    Cycles cycle;
    uint32_t address;
    uint32_t value;    // the value stored, the character dropped; 0 for loads
    std::string what;  // names the model and the register
};
std::string Describe(const BoardWarning& warning);

// One board's warnings, oldest first; bounded, so that a long run that keeps provoking one (a
// soak with the module unplugged) stays flat in memory. Safe from any thread.
class WarningLog {
  public:
    static constexpr size_t kKept = 4096;

    WarningLog() = default;
    WarningLog(const WarningLog&) = delete;
    WarningLog& operator=(const WarningLog&) = delete;
    // Hands what was never taken to WarningsLeftBehind().
    ~WarningLog();

    void record(BoardWarning warning);
    std::vector<BoardWarning> list() const;
    // Takes them all: a test that provokes warnings on purpose checks them itself.
    std::vector<BoardWarning> take();
    // Warnings beyond the kept ones are only counted (until the next take).
    uint64_t notKept() const;

  private:
    mutable std::mutex lock_;
    std::vector<BoardWarning> warnings_;
    uint64_t notKept_ = 0;
};

// What becomes of the warnings a board still holds when it goes: printed on standard error by
// default. The test support links its own definition, which fails the test that left them.
void WarningsLeftBehind(std::vector<BoardWarning> warnings, uint64_t notKept);

}  // namespace sim
