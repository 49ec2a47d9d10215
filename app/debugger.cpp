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

#include "image_target.hpp"

namespace app {

namespace {

// How often, in virtual time, a running firmware looks for a debugger's bytes.
constexpr double kPollMs = 10;

}  // namespace

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
    connected(fd);
    return true;
}

void Debugger::connected(int fd) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    client_ = fd;
    target_ = makeTarget();
    gdb_ = std::make_unique<gdb::GdbSession>(*target_);
    std::printf("panel-sim: a debugger connected\n");
    std::fflush(stdout);
    startHistory();
}

std::unique_ptr<ImageTarget> Debugger::makeTarget() {
    return std::make_unique<ImageTarget>(
        *session_, [this](gdb::Resume how, std::string& why) { return reverse(how, why); },
        [this](HeldAction action) { noteAction(std::move(action)); });
}

void Debugger::dropClient() {
    if (client_ >= 0) {
        close(client_);
        client_ = -1;
    }
    if (session_ != nullptr && session_->image != nullptr) {
        session_->image->clearDebugMarks();
        // What was kept can only be replayed with a debugger watching every instruction.
        session_->image->setExact(false);
    }
    replay_.drop(0);
    recording_ = false;
    heldCheckpoint_.reset();
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
    return SendAll(client_, gdb_->takeOutput());
}

void Debugger::poll() {
    // While the firmware runs: a new debugger halts it; a connected one may send Ctrl-C. A run
    // the debugger's own monitor command makes is no time to read from it.
    if (holding_ || replaying_) {
        return;  // a copy replaying leaves the debugger to the one it replays for
    }
    if (replay_.keeperGone()) {
        _exit(1);  // the process the user started has ended: so does every copy of it
    }
    if (client_ < 0) {
        if (accept(false)) {
            session_->image->requestHalt();
        }
        return;
    }
    if (!serve(0) || gdb_->closed()) {
        dropClient();
        return;
    }
    keepRunning();
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
    if (replaying_) {
        if (!replayReached()) {
            return true;  // a stop of the replay's own on the way (none is expected)
        }
        arrive(replaying_->actions.size());
    }
    if (client_ < 0) {
        return true;  // the debugger went away while its stop was coming
    }
    holding_ = true;
    keepHeld();
    if (replaying_ && !replayHeld()) {
        holding_ = false;
        return true;  // a copy of the run on its way to the point it was asked for
    }
    if (gdb_->running()) {
        gdb_->stopped(target_->lastStop());
    }
    const bool goOn = serveHeld();
    holding_ = false;
    heldCheckpoint_.reset();
    if (!goOn) {
        session_->image->endRun("ended by the debugger");
    }
    return goOn;
}

bool Debugger::serveHeld() {
    for (;;) {
        if (whileHeld_) {
            whileHeld_();
        }
        if (!serve(50) || gdb_->closed()) {
            const bool goOn = !(target_ && target_->killed());
            dropClient();
            return goOn;
        }
        if (gdb_->running()) {
            if (!target_->reportAtOnce()) {
                return true;
            }
            target_->reported();
            if (session_->panel.stoppedWhileHeld()) {
                session_->panel.acknowledgeStop();
                noteAction(HeldAction{HeldAction::Kind::Acknowledge, 0, {}, {}});
            }
            gdb_->stopped(target_->lastStop());
        }
    }
}

void Debugger::finished(int exitCode) {
    if (replaying_) {
        // A copy's run ended before the point it was asked for: it is no use to anyone.
        if (replaying_->goal == ReplayRequest::Goal::Search) {
            replay_.answerSearch(SearchResult{});
        }
        _exit(1);
    }
    if (client_ < 0) {
        return;
    }
    if (session_->image->halted()) {
        // Let the debugger look at what faulted until it leaves.
        std::printf("panel-sim: the firmware stopped; the debugger may look at it until it detaches\n");
        std::fflush(stdout);
        holding_ = true;
        for (;;) {
            if (gdb_->running()) {
                gdb_->stopped(target_->lastStop());
            }
            if (!serve(50) || gdb_->closed()) {
                break;
            }
        }
        holding_ = false;
        dropClient();
        return;
    }
    gdb::StopEvent exited;
    exited.reason = gdb::StopEvent::Reason::Exited;
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
