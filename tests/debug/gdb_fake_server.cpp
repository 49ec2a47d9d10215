// The protocol layer on a TCP port with the fake target behind it, for a real debugger to talk
// to: the live test runs gdb-multiarch against it, and the packets it logs are where the unit
// test's exchanges come from.
//   gdb_fake_server PORT_FILE LOG   listens on a free loopback port, writes the port to PORT_FILE,
//                                   serves one debugger, logs every packet each way to LOG
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "gdb_protocol.hpp"
#include "support/fake_debug_target.hpp"

namespace {

// Logs whole packets, one a line (bytes outside printable ASCII as \xNN), and interrupts.
class PacketLog {
  public:
    explicit PacketLog(std::FILE* file) : file_(file) {}
    void add(const char* who, const std::string& bytes) {
        std::string& line = pending_[who[0] == 'g' ? 0 : 1];
        for (const char c : bytes) {
            if (line.empty() && c != '$') {
                if (c == '\x03') {
                    std::fprintf(file_, "%s ^C\n", who);
                }
                continue;  // acknowledgements are not exchanges
            }
            if (c >= 0x20 && c < 0x7F) {
                line += c;
            } else {
                char hex[8];
                std::snprintf(hex, sizeof(hex), "\\x%02x", static_cast<uint8_t>(c));
                line += hex;
            }
            const size_t hash = line.rfind('#');
            if (hash != std::string::npos && hash + 3 == line.size()) {
                std::fprintf(file_, "%s %s\n", who, line.c_str());
                line.clear();
            }
        }
        std::fflush(file_);
    }

  private:
    std::FILE* file_;
    std::string pending_[2];
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: gdb_fake_server PORT_FILE LOG\n");
        return 2;
    }
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::perror("gdb_fake_server");
        return 1;
    }
    std::ofstream(argv[1]) << ntohs(address.sin_port) << "\n";
    std::FILE* logFile = std::fopen(argv[2], "w");
    pollfd waiting{listener, POLLIN, 0};
    if (logFile == nullptr || poll(&waiting, 1, 30000) != 1) {
        std::fprintf(stderr, "gdb_fake_server: no debugger came within 30 s\n");
        return 1;
    }
    const int connection = accept(listener, nullptr, nullptr);
    testsupport::FakeDebugTarget target;
    gdb::GdbSession session(target);
    PacketLog log(logFile);
    char buffer[4096];
    for (;;) {
        pollfd readable{connection, POLLIN, 0};
        if (poll(&readable, 1, 30000) != 1) {
            std::fprintf(stderr, "gdb_fake_server: the debugger went quiet for 30 s\n");
            return 1;
        }
        const ssize_t n = read(connection, buffer, sizeof(buffer));
        if (n <= 0) {
            break;  // the debugger closed the connection
        }
        const std::string in(buffer, static_cast<size_t>(n));
        log.add("gdb>", in);
        session.receive(in);
        if (const auto stop = target.takeStop(); stop && session.running()) {
            session.stopped(*stop);
        }
        const std::string out = session.takeOutput();
        log.add("stub>", out);
        if (!out.empty() && write(connection, out.data(), out.size()) < 0) {
            break;
        }
        if (session.closed()) {
            break;
        }
    }
    close(connection);
    std::fclose(logFile);
    return 0;
}
