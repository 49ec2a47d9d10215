// The emulated core as the debugger's target: registers, memory (the bus read through the
// models without what reading does), breakpoints and watchpoints, resume and stop. What the
// debugger does to the held firmware is told to a listener, so that a replay can do it again.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gdb_protocol.hpp"
#include "replay_processes.hpp"
#include "session.hpp"

namespace app {

class ImageTarget final : public gdb::DebugTarget {
  public:
    using Reverse = std::function<bool(gdb::Resume, std::string&)>;
    using Listener = std::function<void(HeldAction)>;

    ImageTarget(Session& session, Reverse reverse, Listener listener);

    bool readRegister(gdb::Register reg, uint32_t& value) override;
    bool writeRegister(gdb::Register reg, uint32_t value) override;
    bool readMemory(uint32_t address, uint8_t* out, size_t length) override;
    bool writeMemory(uint32_t address, const uint8_t* data, size_t length) override;
    bool insertBreak(gdb::BreakKind kind, uint32_t address, uint32_t length) override;
    bool removeBreak(gdb::BreakKind kind, uint32_t address, uint32_t length) override;
    bool supports(gdb::BreakKind) const override { return true; }
    bool canReverse() const override { return true; }  // a run that cannot says why when asked
    bool resume(gdb::Resume how, std::string& why) override;
    void interrupt() override;
    gdb::StopEvent lastStop() override;
    std::string monitor(const std::string& command) override;
    void detach() override;
    void kill() override { killed_ = true; }

    bool killed() const { return killed_; }
    // A stop to report at once when the debugger resumes (a monitor command's run met a mark,
    // or running backwards stayed where it was).
    bool reportAtOnce() const { return reportAtOnce_; }
    void reported() { reportAtOnce_ = false; }
    void reportAtOnce(const gdb::StopEvent& event);

    // The marks the debugger has set, and setting them again in a copy of the run.
    std::vector<DebugMark> marks() const;
    void setMarks(const std::vector<DebugMark>& marks);
    // How the debugger hears of a stop the core made.
    gdb::StopEvent eventFor(const sim::arm::DebugStop& stop) const;
    // The stop reported last, until the next resume (after running backwards, the core's own
    // stop is the replay's).
    void stoppedWith(const gdb::StopEvent& event) { shownStop_ = event; }

  private:
    Session& session_;
    sim::arm::ArmCore& core_;
    Reverse reverse_;
    Listener listener_;
    std::map<uint32_t, gdb::BreakKind> breakKinds_;
    std::vector<DebugMark> marks_;
    std::optional<gdb::StopEvent> shownStop_;
    bool interrupted_ = false;
    bool killed_ = false;
    bool reportAtOnce_ = false;
};

}  // namespace app
