// The small process behind the remote I/O module's registers (the project's register map,
// registers.hpp), shared by the board's module model and the stand-alone bench tool. Plain C++,
// no protocol code: each side speaks Modbus with its own implementation and keeps these
// registers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "registers.hpp"

namespace remote_io {

// Role and tool name of block word i (register kFirstRegister + i).
Role RoleOf(int index);
const char* NameOf(int index);
bool IsInput(int index);

struct Event {
    enum class Kind { Sms, Email };
    double seconds;
    Kind kind;
};

class Process {
  public:
    // With the process stopped, inputs keep whatever they were last set to.
    void setRunning(bool running) { running_ = running; }
    bool running() const { return running_; }

    // Brings the inputs to their values at the given time (seconds since the module started).
    void advanceTo(double seconds);

    uint16_t read(int index) const { return registers_.at(static_cast<size_t>(index)); }
    const std::array<uint16_t, kRegisterCount>& registers() const { return registers_; }

    // A value written by the master. A request register going from 1 to 0 logs its request.
    void write(int index, uint16_t value, double seconds);
    // The bench or a test sets a register directly (no request is logged).
    void set(int index, uint16_t value) { registers_.at(static_cast<size_t>(index)) = value; }

    const std::vector<Event>& events() const { return events_; }

  private:
    bool running_ = true;
    std::array<uint16_t, kRegisterCount> registers_{};
    std::vector<Event> events_;
};

// One line for a bench log: "SMS request" or "e-mail request".
std::string Describe(const Event& event);

}  // namespace remote_io
