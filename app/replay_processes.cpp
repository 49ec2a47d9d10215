#include "replay_processes.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace app {

namespace {

// Long enough for a replay of minutes of virtual time; a copy that takes longer is lost.
constexpr int kAnswerTimeoutMs = 300'000;

int g_status = -1;  // to the keeper: who runs now, and how the run ended

// --- Messages between the copies: a length, then the fields in order. ---
class Writer {
  public:
    template <typename T>
    void put(T value) {
        bytes_.append(reinterpret_cast<const char*>(&value), sizeof(value));
    }
    void put(const std::string& text) {
        put(static_cast<uint32_t>(text.size()));
        bytes_ += text;
    }
    void put(const RunPosition& at) {
        put(at.instructions);
        put(at.entries);
    }
    std::string framed() const {
        const auto size = static_cast<uint32_t>(bytes_.size());
        return std::string(reinterpret_cast<const char*>(&size), sizeof(size)) + bytes_;
    }

  private:
    std::string bytes_;
};

class Reader {
  public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    template <typename T>
    bool get(T& value) {
        if (bytes_.size() - at_ < sizeof(value)) {
            return false;
        }
        std::memcpy(&value, bytes_.data() + at_, sizeof(value));
        at_ += sizeof(value);
        return true;
    }
    bool get(std::string& text) {
        uint32_t size = 0;
        if (!get(size) || bytes_.size() - at_ < size) {
            return false;
        }
        text.assign(bytes_, at_, size);
        at_ += size;
        return true;
    }
    bool get(RunPosition& at) { return get(at.instructions) && get(at.entries); }

  private:
    const std::string& bytes_;
    size_t at_ = 0;
};

bool WaitReadable(int fd, int timeoutMs) {
    pollfd ready{fd, POLLIN, 0};
    return ::poll(&ready, 1, timeoutMs) > 0 && (ready.revents & POLLIN) != 0;
}

bool ReadAll(int fd, char* out, size_t size) {
    while (size > 0) {
        const ssize_t n = read(fd, out, size);
        if (n <= 0) {
            return false;
        }
        out += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A message with up to three descriptors riding on its first byte.
bool SendMessage(int fd, const std::string& framed, const std::vector<int>& fds) {
    if (fds.empty()) {
        return SendAll(fd, framed);
    }
    iovec first{const_cast<char*>(framed.data()), 1};
    char control[CMSG_SPACE(3 * sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &first;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(fds.size() * sizeof(int));
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
    std::memcpy(CMSG_DATA(header), fds.data(), fds.size() * sizeof(int));
    if (sendmsg(fd, &message, MSG_NOSIGNAL) != 1) {
        return false;
    }
    return SendAll(fd, framed.substr(1));
}

bool ReceiveMessage(int fd, std::string& body, std::vector<int>& fds, int timeoutMs) {
    if (!WaitReadable(fd, timeoutMs)) {
        return false;
    }
    char head[4];
    iovec first{head, 1};
    char control[CMSG_SPACE(3 * sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &first;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    if (recvmsg(fd, &message, MSG_CMSG_CLOEXEC) != 1) {
        return false;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
            const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            fds.resize(count);
            std::memcpy(fds.data(), CMSG_DATA(c), count * sizeof(int));
        }
    }
    uint32_t size = 0;
    if (!ReadAll(fd, head + 1, 3)) {
        return false;
    }
    std::memcpy(&size, head, sizeof(size));
    body.resize(size);
    return ReadAll(fd, body.data(), size);
}

std::string Encode(const ReplayRequest& request) {
    Writer out;
    out.put(static_cast<uint8_t>(request.goal));
    out.put(request.end);
    out.put(request.before);
    out.put(static_cast<uint32_t>(request.marks.size()));
    for (const DebugMark& mark : request.marks) {
        out.put(static_cast<uint8_t>(mark.kind));
        out.put(mark.address);
        out.put(mark.length);
    }
    out.put(static_cast<uint32_t>(request.actions.size()));
    for (const HeldAction& action : request.actions) {
        out.put(static_cast<uint8_t>(action.kind));
        out.put(action.address);
        out.put(action.data);
        out.put(static_cast<uint8_t>(action.cutAt.has_value()));
        out.put(action.cutAt.value_or(RunPosition{}));
    }
    out.put(static_cast<uint8_t>(request.noAck));
    out.put(static_cast<uint8_t>(request.event.reason));
    out.put(request.event.signal);
    out.put(request.event.address);
    return out.framed();
}

bool Decode(const std::string& body, ReplayRequest& request) {
    Reader in(body);
    uint8_t goal = 0;
    uint32_t count = 0;
    if (!in.get(goal) || !in.get(request.end) || !in.get(request.before) ||
        !in.get(count)) {
        return false;
    }
    request.goal = static_cast<ReplayRequest::Goal>(goal);
    request.marks.resize(count);
    for (DebugMark& mark : request.marks) {
        uint8_t kind = 0;
        if (!in.get(kind) || !in.get(mark.address) || !in.get(mark.length)) {
            return false;
        }
        mark.kind = static_cast<gdb::BreakKind>(kind);
    }
    if (!in.get(count)) {
        return false;
    }
    request.actions.resize(count);
    for (HeldAction& action : request.actions) {
        uint8_t kind = 0;
        uint8_t hasCut = 0;
        RunPosition cut;
        if (!in.get(kind) || !in.get(action.address) || !in.get(action.data) ||
            !in.get(hasCut) || !in.get(cut)) {
            return false;
        }
        action.kind = static_cast<HeldAction::Kind>(kind);
        if (hasCut != 0) {
            action.cutAt = cut;
        }
    }
    uint8_t noAck = 0;
    uint8_t reason = 0;
    if (!in.get(noAck) || !in.get(reason) || !in.get(request.event.signal) ||
        !in.get(request.event.address)) {
        return false;
    }
    request.noAck = noAck != 0;
    request.event.reason = static_cast<gdb::StopEvent::Reason>(reason);
    return true;
}

std::string Encode(const SearchResult& result) {
    Writer out;
    out.put(static_cast<uint8_t>(result.reached));
    out.put(static_cast<uint8_t>(result.hit.has_value()));
    const DebugHit hit = result.hit.value_or(DebugHit{});
    out.put(hit.at);
    out.put(static_cast<uint8_t>(hit.stop.why));
    out.put(hit.stop.pc);
    out.put(static_cast<uint8_t>(hit.stop.watchKind));
    out.put(hit.stop.watchAddress);
    out.put(result.previous);
    return out.framed();
}

bool Decode(const std::string& body, SearchResult& result) {
    Reader in(body);
    uint8_t reached = 0;
    uint8_t hasHit = 0;
    uint8_t why = 0;
    uint8_t watchKind = 0;
    DebugHit hit;
    if (!in.get(reached) || !in.get(hasHit) || !in.get(hit.at) || !in.get(why) ||
        !in.get(hit.stop.pc) || !in.get(watchKind) || !in.get(hit.stop.watchAddress) ||
        !in.get(result.previous)) {
        return false;
    }
    result.reached = reached != 0;
    hit.stop.why = static_cast<sim::arm::DebugStop::Why>(why);
    hit.stop.watchKind = static_cast<sim::arm::WatchKind>(watchKind);
    if (hasHit != 0) {
        result.hit = hit;
    }
    return true;
}

void TellKeeper(char what, int32_t value) {
    if (g_status < 0) {
        return;
    }
    char message[5] = {what};
    std::memcpy(message + 1, &value, sizeof(value));
    (void)!write(g_status, message, sizeof(message));
}

// The keeper: waits for the status of the copy that finishes the run, and ends with it; a copy
// that ends without one (a crash) ends the keeper with 1.
[[noreturn]] void Keep(int status) {
    signal(SIGCHLD, SIG_IGN);  // copies whose parents ended come here, and are let go
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    int running = -1;  // a pidfd of the copy that runs
    for (;;) {
        pollfd ready[2] = {{status, POLLIN, 0}, {running, POLLIN, 0}};
        ::poll(ready, running >= 0 ? 2 : 1, -1);
        if ((ready[0].revents & (POLLIN | POLLHUP)) != 0) {
            char message[5];
            if (!ReadAll(status, message, sizeof(message))) {
                _exit(1);
            }
            int32_t value = 0;
            std::memcpy(&value, message + 1, sizeof(value));
            if (message[0] == 'E') {
                _exit(value);
            }
            if (running >= 0) {
                close(running);
            }
            running = static_cast<int>(syscall(SYS_pidfd_open, value, 0));
            continue;
        }
        if (running >= 0 && (ready[1].revents & POLLIN) != 0) {
            std::fprintf(stderr, "panel-sim: the simulator's process ended without a status\n");
            _exit(1);
        }
    }
}

}  // namespace

bool SendAll(int fd, std::string_view bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

void ReplayProcesses::start() {
    if (started()) {
        return;
    }
    int life[2];
    int status[2];
    if (pipe2(life, O_CLOEXEC) != 0 || pipe2(status, O_CLOEXEC) != 0) {
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) {
        return;
    }
    if (pid > 0) {
        close(life[0]);
        close(status[1]);
        // Nothing of the run stays open here: the debugger sees its connection close when the
        // copy that has it lets it go.
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != life[1] && fd != status[0]) {
                close(fd);
            }
        }
        Keep(status[0]);
    }
    close(life[1]);
    close(status[0]);
    life_ = life[0];
    g_status = status[1];
    TellKeeper('P', getpid());
}

std::optional<ReplayRequest> ReplayProcesses::keep(RunPosition at, bool held, int client) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return std::nullopt;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(pair[0]);
        close(pair[1]);
        return std::nullopt;
    }
    if (pid > 0) {
        close(pair[1]);
        checkpoints_.push_back(Checkpoint{pid, pair[0], at, held, {}});
        return std::nullopt;
    }
    // The kept copy: waits for a request, and runs each in a copy of its own.
    close(pair[0]);
    if (client >= 0) {
        close(client);
    }
    channel_ = pair[1];
    selfAt_ = at;
    selfHeld_ = held;
    for (;;) {
        pollfd ready[2] = {{channel_, POLLIN, 0}, {life_, POLLIN, 0}};
        ::poll(ready, 2, -1);
        if (ready[1].revents != 0) {
            _exit(0);
        }
        std::string body;
        std::vector<int> fds;
        ReplayRequest request;
        if (!ReceiveMessage(channel_, body, fds, -1) || !Decode(body, request)) {
            _exit(0);
        }
        if (request.goal == ReplayRequest::Goal::Become && fds.size() == 3) {
            request.client = fds[0];
            request.channel = fds[1];
            request.done = fds[2];
        }
        const pid_t worker = fork();
        if (worker == 0) {
            silence();
            return request;
        }
        for (const int fd : fds) {
            close(fd);
        }
        if (worker > 0 && request.goal == ReplayRequest::Goal::Search) {
            waitpid(worker, nullptr, 0);
        }
    }
}

void ReplayProcesses::silence() {
    const int nothing = open("/dev/null", O_WRONLY | O_CLOEXEC);
    savedOut_ = fcntl(1, F_DUPFD_CLOEXEC, 10);
    savedErr_ = fcntl(2, F_DUPFD_CLOEXEC, 10);
    dup2(nothing, 1);
    dup2(nothing, 2);
    close(nothing);
}

void ReplayProcesses::drop(size_t from) {
    for (size_t i = from; i < checkpoints_.size(); ++i) {
        kill(checkpoints_[i].pid, SIGKILL);
        close(checkpoints_[i].channel);
    }
    if (from < checkpoints_.size()) {
        checkpoints_.erase(checkpoints_.begin() + static_cast<std::ptrdiff_t>(from),
                           checkpoints_.end());
    }
}

bool ReplayProcesses::search(size_t i, const ReplayRequest& request, SearchResult& result) {
    const int channel = checkpoints_.at(i).channel;
    if (!SendMessage(channel, Encode(request), {})) {
        return false;
    }
    std::string body;
    std::vector<int> fds;
    return ReceiveMessage(channel, body, fds, kAnswerTimeoutMs) && Decode(body, result);
}

void ReplayProcesses::become(size_t i, ReplayRequest request, std::string& why) {
    const int channel = checkpoints_.at(i).channel;
    int done[2];
    if (pipe2(done, O_CLOEXEC) != 0) {
        why = "no pipe for the replay";
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const bool sent = SendMessage(channel, Encode(request), {request.client, channel, done[1]});
    close(done[1]);
    char ack = 0;
    if (!sent || !WaitReadable(done[0], kAnswerTimeoutMs) || read(done[0], &ack, 1) != 1) {
        close(done[0]);
        why = "the replay did not reach the point it was asked for";
        return;
    }
    _exit(0);  // the copy carries on with the debugger, the keeper and the output
}

void ReplayProcesses::answerSearch(const SearchResult& result) {
    SendAll(channel_, Encode(result));
    _exit(0);
}

void ReplayProcesses::tookOver(const ReplayRequest& request) {
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut_, 1);
    dup2(savedErr_, 2);
    close(savedOut_);
    close(savedErr_);
    checkpoints_.push_back(Checkpoint{getppid(), request.channel, selfAt_, selfHeld_, {}});
    TellKeeper('P', getpid());
    const char ack = 1;
    (void)!write(request.done, &ack, 1);
    close(request.done);
    close(channel_);
    channel_ = -1;
}

bool ReplayProcesses::keeperGone() const {
    if (life_ < 0) {
        return false;
    }
    pollfd ready{life_, POLLIN, 0};
    return ::poll(&ready, 1, 0) > 0 && ready.revents != 0;
}

void ReplayProcesses::ReportExit(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    TellKeeper('E', code);
}

}  // namespace app
