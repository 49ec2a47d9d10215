// A debugger on the real image (--gdb PORT): the GDB remote protocol on a loopback port, with the
// emulated core behind it. While the debugger holds the processor, nothing runs — no
// instruction, no model, no virtual time — and the bench's own commands can be given to it as
// `monitor` commands. A run whose inputs all come from the simulator can also be run backwards
// (debugger_reverse.cpp).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gdb_protocol.hpp"
#include "replay_processes.hpp"
#include "session.hpp"

namespace app {

class ImageTarget;

class Debugger {
  public:
    // Listens on 127.0.0.1:port (0: a free port); null, with why, when it cannot.
    static std::unique_ptr<Debugger> Listen(int port, std::string* why);
    ~Debugger();
    Debugger(const Debugger&) = delete;
    Debugger& operator=(const Debugger&) = delete;

    int port() const { return port_; }
    // This run cannot be run backwards, and why (a serial peer, the window, a trace written as
    // it goes); asked before attach.
    void refuseReverse(std::string why) { reverseRefusal_ = std::move(why); }
    // Takes over the session's stops: a debugger that connects while the firmware runs halts it,
    // and a debugger's stop holds the firmware until the debugger lets it go on.
    void attach(Session& session);
    // Waits for a debugger and holds the processor at its reset entry for it.
    void holdAtReset();
    // The run ended: a debugger still connected is told (the firmware's fault is shown to it as a
    // halt it may look at until it leaves).
    void finished(int exitCode);

    // "halted at 0x00001A2C (hmi_GotoFrame)" while the debugger holds the firmware, else empty.
    std::string haltedText() const;
    // Called every few tens of milliseconds (real time) while the debugger holds the firmware:
    // the window and the web page show the halt and stay responsive.
    void whileHeld(std::function<void()> fn) { whileHeld_ = std::move(fn); }

  private:
    explicit Debugger(int listener, int port);
    bool hold();
    // Answers the debugger until it resumes (true) or leaves (false).
    bool serveHeld();
    void poll();
    void schedulePoll();
    bool accept(bool wait);
    void connected(int fd);
    // Exchanges bytes with the debugger; false when the connection went away.
    bool serve(int timeoutMs);
    void dropClient();

    // --- Running backwards (debugger_reverse.cpp). ---
    void startHistory();
    // Keeps a checkpoint of now; true when one was kept. In the copy (which this process may
    // have become), false, and the copy is on its way to the point it was asked for.
    bool keepCheckpoint(bool held);
    void keepHeld();
    void keepRunning();
    void noteAction(HeldAction action);
    bool reverse(gdb::Resume how, std::string& why);
    bool goTo(RunPosition target, const gdb::StopEvent& event, std::string& why);
    // In a copy of the run: sets it off towards the point asked for.
    void beginReplay(ReplayRequest request);
    // In a copy, held: the debugger's actions done again until the point asked for; true when
    // the copy got there and has taken over, false when it is to run on towards it.
    bool replayHeld();
    bool replayReached() const;
    // In a copy at its point: answers a search (and ends), or takes over from the one that asked.
    void arrive(size_t actionsDone);
    std::unique_ptr<ImageTarget> makeTarget();

    int listener_ = -1;
    int port_ = 0;
    int client_ = -1;
    Session* session_ = nullptr;
    std::unique_ptr<ImageTarget> target_;
    std::unique_ptr<gdb::GdbSession> gdb_;
    bool holding_ = false;
    std::function<void()> whileHeld_;

    std::string reverseRefusal_;
    ReplayProcesses replay_;
    bool recording_ = false;                  // checkpoints are being kept
    std::optional<size_t> heldCheckpoint_;    // the one kept at this hold's entry
    sim::Picoseconds lastKeptPs_ = 0;
    std::optional<ReplayRequest> replaying_;  // in a copy: what it was asked
};

}  // namespace app
