// The simulator as a workbench: a tap on the serial line with the Modbus monitor behind it, module
// faults at a key press or a script command, module registers set by hand, recording of a session
// as a replayable script, and hashes of everything the panel showed and said.
//
// The window, the web page and scripts act on the panel through here, so that what they do is
// recorded the same way whichever of them did it. All calls come from the harness side (between
// runs), except the ones marked as safe from any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "line_tap.hpp"
#include "modbus_monitor.hpp"
#include "options.hpp"
#include "display_module.hpp"
#include "panel_harness.hpp"
#include "remote_module.hpp"

namespace app {

class Finger;
class Recorder;

// What the module (or the line to it) does wrong, as the window, the page and scripts name it.
struct FaultKind {
    const char* name;  // script word
    const char* label; // for people
    int key;           // window key
    bool unplugged;    // the line itself, not the module
    sim::ModuleFault fault;
};
const std::vector<FaultKind>& FaultKinds();

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

    // A fault by its script word ("none" brings the module back); false if there is no such one.
    bool setFault(const std::string& name, std::string* why = nullptr);
    const FaultKind& fault() const { return *fault_; }
    bool setRegister(int index, uint16_t value, std::string* why = nullptr);
    // Register values of the module model (empty with a host device on the line). Any thread.
    std::vector<uint16_t> registers() const;
    bool hasModule() const { return module_ != nullptr; }

    // A window key: true if it was one of the workbench's.
    bool key(int symbol);
    // "  fault=..." for the status line; for the window's title, the fault in force if any.
    std::string statusSuffix() const;
    std::string titleSuffix() const;

    // Script commands of the workbench: fault KIND, register ADDRESS|NAME VALUE,
    // serial-in MS HH HH ... (characters from the far side, the first MS from now, then back to
    // back). CheckCommand returns why a command is wrong (empty when it is right).
    static bool IsCommand(const std::string& command);
    static std::string CheckCommand(const std::vector<std::string>& words);
    bool runCommand(const std::vector<std::string>& words, std::string& why);

    // The window's finger (held clicks) reports here what it applied, for the recording.
    void watch(Finger& finger);

    ModbusMonitor& monitor() { return *monitor_; }

  private:
    static sim::Picoseconds CharacterStep(const sim::Scheduler& scheduler,
                                          const sim::LineFormat& format);
    void deliverAt(sim::Picoseconds at, std::shared_ptr<const std::vector<uint8_t>> bytes,
                   size_t index);
    void hashLine(Direction direction, uint8_t byte, sim::Picoseconds at);
    void hashWord(const sim::DisplayModule::Latched& latched);

    sim::PanelHarness& panel_;
    const Options& options_;
    sim::RemoteModule* module_ = nullptr;
    std::unique_ptr<LineTap> tap_;
    std::unique_ptr<ModbusMonitor> monitor_;
    std::unique_ptr<Recorder> recorder_;
    std::FILE* log_ = nullptr;
    const FaultKind* fault_;

    // Hashes (FNV-1a, 64 bits) of every word the display controller took, in order (so of every
    // picture it showed), and of every character on the line with its direction and virtual
    // time.
    uint64_t screenHash_ = 0xcbf29ce484222325ull;
    uint64_t displayWords_ = 0;
    uint64_t lineHash_ = 0xcbf29ce484222325ull;
    uint64_t lineBytes_ = 0;
};

}  // namespace app
