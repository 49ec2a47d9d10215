// The processes behind running backwards. The state of the whole simulator at a moment is kept
// by a copy of the process (fork) that waits, taking no time, until it is asked to run on from
// there: either to look at what a stretch of the run met, or to become the process the
// debugger talks to. The run is deterministic, so a copy run on to an instruction reproduces
// the first run's state there exactly.
//
// The process the user started stays as a keeper: it ends with the exit status of the copy
// that finishes the run, and when it ends, every copy ends with it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arm_core.hpp"
#include "gdb_protocol.hpp"

namespace app {

using sim::arm::DebugHit;
using sim::arm::RunPosition;

// Sends all of bytes on a socket (no SIGPIPE); false when the connection went away.
bool SendAll(int fd, std::string_view bytes);

// A breakpoint or watchpoint as the debugger set it.
struct DebugMark {
    gdb::BreakKind kind = gdb::BreakKind::Software;
    uint32_t address = 0;
    uint32_t length = 0;
};

// One thing the debugger did to the held firmware, in order, for a replay to do again.
struct HeldAction {
    enum class Kind : uint8_t { WriteMemory, WriteRegister, Monitor, Acknowledge };
    Kind kind = Kind::Monitor;
    uint32_t address = 0;  // the memory address, or the register
    std::string data;      // the bytes written, or the command line
    // A monitor command's run was stopped there by the debugger's marks.
    std::optional<RunPosition> cutAt;
};

// What a kept copy is asked to do.
struct ReplayRequest {
    enum class Goal : uint8_t { Search, Become };
    Goal goal = Goal::Search;
    RunPosition end;            // Search: run to here; Become: stop here and take over
    RunPosition before;         // Search: the hits that count are those before this
    std::vector<DebugMark> marks;
    std::vector<HeldAction> actions;  // those done while held at the copy's moment
    bool noAck = false;               // Become: the debugger's session
    gdb::StopEvent event;             // Become: the stop to report there
    int client = -1;                  // Become: the debugger's connection
    int channel = -1;                 // Become: the way to the copy it came from
    int done = -1;                    // Become: told once the copy has taken over
};

// What a search found between the copy's moment and its end.
struct SearchResult {
    bool reached = false;
    std::optional<DebugHit> hit;  // the last breakpoint or watch it met before the end
    RunPosition previous;         // the boundary before the end
};

class ReplayProcesses {
  public:
    struct Checkpoint {
        pid_t pid = -1;
        int channel = -1;
        RunPosition at;
        bool held = false;  // taken where the debugger held the firmware; its actions follow
        std::vector<HeldAction> actions;
    };

    // Makes this process a copy of the one the user started, which stays as the keeper. Once.
    void start();
    bool started() const { return life_ >= 0; }

    // Keeps the state of now. In this process: nothing (the checkpoint is listed). In a copy
    // asked to run on: the request, with the copy's standard output silenced until it becomes
    // the one the debugger talks to.
    std::optional<ReplayRequest> keep(RunPosition at, bool held, int client);

    std::vector<Checkpoint>& checkpoints() { return checkpoints_; }
    // Ends the copies from index `from` on.
    void drop(size_t from);

    // Asks checkpoint i to search; false when it did not answer.
    bool search(size_t i, const ReplayRequest& request, SearchResult& result);
    // Hands the run to checkpoint i: returns only if that failed (why says so).
    void become(size_t i, ReplayRequest request, std::string& why);

    // In a search copy: the answer, then the copy ends.
    [[noreturn]] void answerSearch(const SearchResult& result);
    // In a copy that takes over: its output is heard again, the one that asked ends.
    void tookOver(const ReplayRequest& request);
    // Whether the keeper is gone (the copies then end too).
    bool keeperGone() const;
    // The run ended in this process: the keeper ends with the same status.
    static void ReportExit(int code);

  private:
    void silence();

    std::vector<Checkpoint> checkpoints_;
    int life_ = -1;     // read end: closes when the keeper ends
    int channel_ = -1;  // in a copy: the way the request came
    RunPosition selfAt_;  // in a copy: the moment it keeps
    bool selfHeld_ = false;
    int savedOut_ = -1;  // in a copy: its output while it is silenced
    int savedErr_ = -1;
};

}  // namespace app
