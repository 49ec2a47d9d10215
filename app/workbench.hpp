// The simulator as a workbench: a tap on the serial line with the Modbus monitor behind it, the
// module's faults, registers and process, characters played in from the far side, a recording
// of the session and its hashes. The bench's commands (commands.hpp) act on the panel through
// here. All calls come from the harness side (between runs), except the ones marked as safe
// from any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fault_kinds.hpp"
#include "line_tap.hpp"
#include "modbus_monitor.hpp"
#include "options.hpp"
#include "panel_harness.hpp"
#include "remote_module.hpp"

namespace app {

class Recorder;
class SerialInput;
class SessionHashes;

class Workbench {
  public:
    Workbench(sim::PanelHarness& panel, const Options& options);
    ~Workbench();
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    // Puts the tap on the line and opens the files; false (with a message) when one cannot be.
    bool start();
    // Ends the recording at the current time and prints the hashes if asked for.
    void finish();

    // A fault for the next `answers` answers (-1: until the next fault); false (with why) when
    // it needs the module model and a real peer is on the line.
    bool setFault(const FaultKind& kind, int64_t answers, std::string* why);
    // The fault in force (none once its answers are spent).
    const FaultKind& fault() const;
    bool setRegister(int index, uint16_t value, std::string* why);
    bool setProcessRunning(bool running, std::string* why);
    void serialIn(double ms, std::vector<uint8_t> bytes);
    // Register values of the module model (empty with a host device on the line). Any thread.
    std::vector<uint16_t> registers() const;
    bool hasModule() const { return module_ != nullptr; }

    // A command's line for the recording, at the current time (nothing when not recording).
    void record(const std::string& line);

    // "  fault=..." for the status line; for the window's title, the fault in force if any.
    std::string statusSuffix() const;
    std::string titleSuffix() const;

    ModbusMonitor& monitor() { return *monitor_; }
    const ModbusMonitor& monitor() const { return *monitor_; }

  private:
    bool startRecording();

    sim::PanelHarness& panel_;
    const Options& options_;
    sim::RemoteModule* module_ = nullptr;
    std::unique_ptr<LineTap> tap_;
    std::unique_ptr<ModbusMonitor> monitor_;
    std::unique_ptr<SerialInput> serialInput_;
    std::unique_ptr<Recorder> recorder_;
    std::unique_ptr<SessionHashes> hashes_;
    std::FILE* log_ = nullptr;
    const FaultKind* fault_;
};

}  // namespace app
