#include "debugger.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "debugger_monitor.hpp"

namespace app {

namespace {

using gdb::BreakKind;
using gdb::Register;
using gdb::StopEvent;
using sim::arm::ArmCore;
using sim::arm::DebugStop;
using sim::arm::WatchKind;

// How often, in virtual time, a running firmware looks for a debugger's bytes.
constexpr double kPollMs = 10;

int UnicornId(Register reg) {
    const int n = static_cast<int>(reg);
    if (n <= 12) {
        return UC_ARM_REG_R0 + n;
    }
    switch (reg) {
        case Register::Sp:
            return UC_ARM_REG_SP;
        case Register::Lr:
            return UC_ARM_REG_LR;
        case Register::Pc:
            return UC_ARM_REG_PC;
        case Register::Xpsr:
            return UC_ARM_REG_XPSR;
        case Register::Msp:
            return UC_ARM_REG_MSP;
        case Register::Psp:
            return UC_ARM_REG_PSP;
        case Register::Primask:
            return UC_ARM_REG_PRIMASK;
        case Register::Basepri:
            return UC_ARM_REG_BASEPRI;
        case Register::Faultmask:
            return UC_ARM_REG_FAULTMASK;
        case Register::Control:
            return UC_ARM_REG_CONTROL;
        default:
            return -1;
    }
}

bool IsBus(uint32_t address) {
    return (address >= 0x40000000u && address < 0x40100000u) ||
           (address >= 0xE0000000u && address < 0xE0100000u);
}

WatchKind WatchOf(BreakKind kind) {
    return kind == BreakKind::WriteWatch  ? WatchKind::Write
           : kind == BreakKind::ReadWatch ? WatchKind::Read
                                          : WatchKind::Access;
}

}  // namespace

// The emulated core as the protocol layer's target. Memory on the bus is read through the models
// without what reading does (Board::peek), and written a whole register at a time.
class ImageTarget final : public gdb::DebugTarget {
  public:
    explicit ImageTarget(Session& session) : session_(session), core_(*session.image) {}

    bool readRegister(Register reg, uint32_t& value) override {
        const int id = UnicornId(reg);
        if (id < 0) {
            return false;
        }
        value = core_.debugRegister(id);
        return true;
    }
    bool writeRegister(Register reg, uint32_t value) override {
        const int id = UnicornId(reg);
        if (id < 0) {
            return false;
        }
        core_.setDebugRegister(id, value);
        return true;
    }
    bool readMemory(uint32_t address, uint8_t* out, size_t length) override {
        for (size_t i = 0; i < length; ++i) {
            const uint32_t at = address + static_cast<uint32_t>(i);
            if (!IsBus(at)) {
                if (!core_.read(at, out + i, 1)) {
                    return false;
                }
                continue;
            }
            const std::optional<uint32_t> word = session_.panel.board().peek(at & ~3u, 4);
            if (!word) {
                return false;
            }
            out[i] = static_cast<uint8_t>(*word >> (8 * (at & 3u)));
        }
        return true;
    }
    bool writeMemory(uint32_t address, const uint8_t* data, size_t length) override {
        if (!IsBus(address)) {
            return core_.writeSram(address, data, static_cast<uint32_t>(length));
        }
        if (address % 4 != 0 || length % 4 != 0) {
            return false;  // a register is written whole
        }
        for (size_t i = 0; i < length; i += 4) {
            uint32_t word = 0;
            std::memcpy(&word, data + i, 4);
            session_.panel.board().debugWrite(address + static_cast<uint32_t>(i), word, 4);
        }
        return true;
    }
    bool insertBreak(BreakKind kind, uint32_t address, uint32_t length) override {
        if (kind == BreakKind::Software || kind == BreakKind::Hardware) {
            core_.addBreakpoint(address);
            breakKinds_[address & ~1u] = kind;
        } else {
            core_.addWatch(address, length, WatchOf(kind));
        }
        return true;
    }
    bool removeBreak(BreakKind kind, uint32_t address, uint32_t length) override {
        if (kind == BreakKind::Software || kind == BreakKind::Hardware) {
            core_.removeBreakpoint(address);
            breakKinds_.erase(address & ~1u);
        } else {
            core_.removeWatch(address, length, WatchOf(kind));
        }
        return true;
    }
    bool supports(BreakKind) const override { return true; }
    bool canReverse() const override { return false; }

    bool resume(gdb::Resume how, std::string& why) override {
        if (how == gdb::Resume::ReverseContinue || how == gdb::Resume::ReverseStep) {
            why = "this bench does not run backwards";
            return false;
        }
        interrupted_ = false;
        if (how == gdb::Resume::Step) {
            core_.stepInstruction();
        }
        // A monitor command's run stopped where the debugger has not looked yet: that stop is
        // this resume's.
        reportAtOnce_ = session_.panel.stoppedWhileHeld();
        return true;
    }
    void interrupt() override {
        interrupted_ = true;
        core_.requestHalt();
    }
    StopEvent lastStop() override {
        StopEvent event;
        if (core_.halted()) {
            event.signal = 11;  // the firmware faulted: looked at, not resumed
            return event;
        }
        const DebugStop& stop = core_.debugStop();
        switch (stop.why) {
            case DebugStop::Why::Breakpoint: {
                const auto kind = breakKinds_.find(stop.pc);
                event.reason = kind != breakKinds_.end() && kind->second == BreakKind::Hardware
                                   ? StopEvent::Reason::HardwareBreak
                                   : StopEvent::Reason::SoftwareBreak;
                break;
            }
            case DebugStop::Why::Watch:
                event.reason = stop.watchKind == WatchKind::Write  ? StopEvent::Reason::Watch
                               : stop.watchKind == WatchKind::Read ? StopEvent::Reason::ReadWatch
                                                                   : StopEvent::Reason::AccessWatch;
                event.address = stop.watchAddress;
                break;
            case DebugStop::Why::Step:
                event.reason = StopEvent::Reason::Step;
                break;
            case DebugStop::Why::Halt:
                event.signal = interrupted_ ? 2 : 5;
                break;
        }
        return event;
    }
    std::string monitor(const std::string& command) override {
        return RunMonitorCommand(session_, command);
    }
    void detach() override {
        core_.clearDebugMarks();
        breakKinds_.clear();
    }
    void kill() override { killed_ = true; }

    bool killed() const { return killed_; }
    bool reportAtOnce() const { return reportAtOnce_; }
    void reported() { reportAtOnce_ = false; }

  private:
    Session& session_;
    ArmCore& core_;
    std::map<uint32_t, BreakKind> breakKinds_;
    bool interrupted_ = false;
    bool killed_ = false;
    bool reportAtOnce_ = false;
};

Debugger::Debugger(int listener, int port) : listener_(listener), port_(port) {}

Debugger::~Debugger() {
    // The session (and its core) may be gone already: only the sockets are closed.
    if (client_ >= 0) {
        close(client_);
    }
    if (listener_ >= 0) {
        close(listener_);
    }
}

std::unique_ptr<Debugger> Debugger::Listen(int port, std::string* why) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = std::string("--gdb: no socket: ") + std::strerror(errno);
        return nullptr;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never beyond this machine
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd, 1) != 0) {
        *why = "--gdb " + std::to_string(port) + ": cannot listen on 127.0.0.1:" +
               std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    socklen_t size = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return std::unique_ptr<Debugger>(new Debugger(fd, ntohs(address.sin_port)));
}

void Debugger::attach(Session& session) {
    session_ = &session;
    session.panel.setDebugHold([this] { return hold(); });
    std::printf("panel-sim: a debugger may connect to 127.0.0.1:%d (gdb-multiarch: target remote :%d)\n",
                port_, port_);
    std::fflush(stdout);
    schedulePoll();
}

void Debugger::schedulePoll() {
    sim::Scheduler& scheduler = session_->panel.board().scheduler();
    const auto at = scheduler.nowPs() + static_cast<sim::Picoseconds>(kPollMs * sim::kPsPerMs);
    scheduler.at(scheduler.cycleAtOrAfter(at), [this] {
        poll();
        schedulePoll();
    });
}

bool Debugger::accept(bool wait) {
    pollfd ready{listener_, POLLIN, 0};
    if (::poll(&ready, 1, wait ? -1 : 0) <= 0) {
        return false;
    }
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    client_ = fd;
    target_ = std::make_unique<ImageTarget>(*session_);
    gdb_ = std::make_unique<gdb::GdbSession>(*target_);
    std::printf("panel-sim: a debugger connected\n");
    std::fflush(stdout);
    return true;
}

void Debugger::dropClient() {
    if (client_ >= 0) {
        close(client_);
        client_ = -1;
    }
    if (session_ != nullptr && session_->image != nullptr) {
        session_->image->clearDebugMarks();
    }
}

bool Debugger::serve(int timeoutMs) {
    pollfd ready{client_, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) > 0) {
        char buffer[4096];
        const ssize_t n = recv(client_, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            return false;
        }
        gdb_->receive(std::string_view(buffer, static_cast<size_t>(n)));
    }
    const std::string out = gdb_->takeOutput();
    for (size_t sent = 0; sent < out.size();) {
        const ssize_t n = send(client_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

void Debugger::poll() {
    // While the firmware runs: a new debugger halts it; a connected one may send Ctrl-C. A run
    // the debugger's own monitor command makes is no time to read from it.
    if (holding_) {
        return;
    }
    if (client_ < 0) {
        if (accept(false)) {
            session_->image->requestHalt();
        }
        return;
    }
    if (!serve(0) || gdb_->closed()) {
        dropClient();
    }
}

void Debugger::holdAtReset() {
    std::printf("panel-sim: the processor waits at reset for a debugger on 127.0.0.1:%d\n", port_);
    std::fflush(stdout);
    while (!accept(true)) {
    }
    session_->image->requestHalt();
    session_->panel.runForMs(0);  // starts the processor: it stops in front of its first instruction
}

bool Debugger::hold() {
    if (client_ < 0) {
        return true;  // the debugger went away while its stop was coming
    }
    holding_ = true;
    if (gdb_->running()) {
        gdb_->stopped(target_->lastStop());
    }
    bool goOn = true;
    for (;;) {
        if (whileHeld_) {
            whileHeld_();
        }
        if (!serve(50) || gdb_->closed()) {
            goOn = !(target_ && target_->killed());
            dropClient();
            break;
        }
        if (gdb_->running()) {
            if (!target_->reportAtOnce()) {
                break;
            }
            target_->reported();
            session_->panel.acknowledgeStop();
            gdb_->stopped(target_->lastStop());
        }
    }
    holding_ = false;
    if (!goOn) {
        session_->image->endRun("ended by the debugger");
    }
    return goOn;
}

void Debugger::finished(int exitCode) {
    if (client_ < 0) {
        return;
    }
    if (session_->image->halted()) {
        // Let the debugger look at what faulted until it leaves.
        std::printf("panel-sim: the firmware stopped; the debugger may look at it until it detaches\n");
        std::fflush(stdout);
        holding_ = true;
        if (gdb_->running()) {
            gdb_->stopped(target_->lastStop());
        }
        while (serve(50) && !gdb_->closed()) {
            if (gdb_->running()) {
                gdb_->stopped(target_->lastStop());
            }
        }
        holding_ = false;
        dropClient();
        return;
    }
    StopEvent exited;
    exited.reason = StopEvent::Reason::Exited;
    exited.exitCode = exitCode;
    gdb_->stopped(exited);
    serve(0);
    dropClient();
}

std::string Debugger::haltedText() const {
    if (!holding_ || session_ == nullptr || session_->image == nullptr) {
        return {};
    }
    const uint32_t pc = session_->image->debugRegister(UC_ARM_REG_PC);
    char text[40];
    std::snprintf(text, sizeof(text), "halted at 0x%08X", pc);
    const std::string function = session_->image->functionAt(pc);
    return function.empty() ? std::string(text) : std::string(text) + " (" + function + ")";
}

}  // namespace app
