// A debugger on the real image (--gdb PORT): the GDB remote protocol on a loopback port, with the
// emulated core behind it. While the debugger holds the processor, nothing runs — no
// instruction, no model, no virtual time — and the bench's own commands can be given to it as
// `monitor` commands.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "gdb_protocol.hpp"
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
    void poll();
    void schedulePoll();
    bool accept(bool wait);
    // Exchanges bytes with the debugger; false when the connection went away.
    bool serve(int timeoutMs);
    void dropClient();

    int listener_ = -1;
    int port_ = 0;
    int client_ = -1;
    Session* session_ = nullptr;
    std::unique_ptr<ImageTarget> target_;
    std::unique_ptr<gdb::GdbSession> gdb_;
    bool holding_ = false;
    std::function<void()> whileHeld_;
};

}  // namespace app
