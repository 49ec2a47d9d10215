// remote-module: a stand-alone remote I/O module on a serial device or pseudo-terminal.
//
// A Modbus RTU slave (libmodbus) holding registers 98-119 with the module's process behind them:
// inputs that toggle, counters, analogue values that move, outputs that hold what was written,
// SMS and e-mail requests logged when their register goes 1 then 0. A bench runs it against a
// real panel; the tests run it against the simulated panel through a pseudo-terminal.
//
// Lines on standard input:  set REG VALUE | get REG | quit
// Lines on standard output: ready DEVICE | ok | value REG VALUE | write REG VALUE |
//                           request sms|email | error TEXT
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.hpp"
#include "module.hpp"
#include "process.hpp"

namespace {

struct Options {
    std::string device;
    int64_t baud = 115200;
    char parity = 'N';
    int64_t dataBits = 8;
    int64_t stopBits = 1;
    int64_t slave = remote_io::kSlaveAddress;
    bool running = true;
    bool waitOnHangUp = false;
};

constexpr const char* kUsage =
    "usage: remote-module --device PATH [--baud N] [--parity N|E|O] [--data 5-8] [--stop 1|2]\n"
    "                     [--slave 1-247] [--static] [--on-hang-up exit|wait]\n"
    "  Serves holding registers 98-119 as Modbus RTU slave on a serial device or the\n"
    "  peer end of a pseudo-terminal (e.g. the one panel-sim --serial-pty prints).\n"
    "  --static keeps the inputs where they are (no process running), so 'set' can hold them.\n"
    "  --on-hang-up: when the other end closes the line, exit (default) or wait for it to\n"
    "  come back.\n"
    "  Standard input: 'set REG VALUE', 'get REG', 'quit'.\n";

// Parses the command line; returns the exit code when the program should stop.
std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
    std::string parity = "N";
    std::string onHangUp = "exit";
    cli::Parser parser("remote-module", kUsage);
    parser.text("--device", options.device)
        .whole("--baud", options.baud, 50, 4000000)
        .text("--parity", parity)
        .whole("--data", options.dataBits, 5, 8)
        .whole("--stop", options.stopBits, 1, 2)
        .whole("--slave", options.slave, 1, 247)
        .text("--on-hang-up", onHangUp);
    bool fixed = false;
    parser.flag("--static", fixed);
    if (const std::optional<int> stop = parser.parse(argc, argv)) {
        return stop;
    }
    if (!parser.given("--device")) {
        return parser.fail("missing --device");
    }
    if (parity != "N" && parity != "E" && parity != "O") {
        return parser.fail("--parity takes N, E or O, not '" + parity + "'");
    }
    if (onHangUp != "exit" && onHangUp != "wait") {
        return parser.fail("--on-hang-up takes exit or wait, not '" + onHangUp + "'");
    }
    options.parity = parity[0];
    options.running = !fixed;
    options.waitOnHangUp = onHangUp == "wait";
    return std::nullopt;
}

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace

// True when the other end of the line has gone: a pseudo-terminal whose panel closed it, or a
// device that was unplugged.
bool HungUp(modbus_t* ctx) {
    pollfd line = {modbus_get_socket(ctx), POLLIN, 0};
    return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// The line's context, closed if open (closing a closed one does nothing) and freed on every
// way out; the registers' mapping likewise.
struct LineDeleter {
    void operator()(modbus_t* ctx) const {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Line = std::unique_ptr<modbus_t, LineDeleter>;
struct MappingDeleter {
    void operator()(modbus_mapping_t* mapping) const { modbus_mapping_free(mapping); }
};
using Mapping = std::unique_ptr<modbus_mapping_t, MappingDeleter>;

int main(int argc, char** argv) {
    Options options;
    if (const std::optional<int> stop = ParseOptions(argc, argv, options)) {
        return *stop;
    }
    const Line line(modbus_new_rtu(options.device.c_str(), static_cast<int>(options.baud),
                                   options.parity, static_cast<int>(options.dataBits),
                                   static_cast<int>(options.stopBits)));
    modbus_t* const ctx = line.get();
    if (ctx == nullptr || modbus_set_slave(ctx, static_cast<int>(options.slave)) != 0 ||
        modbus_connect(ctx) != 0) {
        const int error = errno;
        std::fprintf(stderr, "remote-module: %s: %s\n", options.device.c_str(),
                     modbus_strerror(error));
        return 1;
    }
    const Mapping registers(modbus_mapping_new_start_address(
        0, 0, 0, 0, remote_io::kFirstRegister, remote_io::kRegisterCount, 0, 0));
    modbus_mapping_t* const mapping = registers.get();
    if (mapping == nullptr) {
        std::fprintf(stderr, "remote-module: %s\n", modbus_strerror(errno));
        return 1;
    }
    remote_module::Module module(mapping->tab_registers, options.running, Say);
    const auto started = std::chrono::steady_clock::now();
    const auto seconds = [started] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    Say("ready " + options.device);

    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    remote_module::ConsoleLines console;
    bool stdinOpen = true;
    bool connected = true;
    bool quit = false;
    int exitCode = 0;
    for (bool serving = true; serving;) {
        // Without a line, look for the peer once a second instead of spinning on the hang-up.
        pollfd fds[2] = {{connected ? modbus_get_socket(ctx) : -1, POLLIN, 0},
                         {STDIN_FILENO, POLLIN, 0}};
        const int ready = ::poll(fds, stdinOpen ? 2 : 1, connected ? 50 : 1000);
        if (ready < 0 && errno != EINTR) {
            exitCode = 1;
            break;
        }
        module.sync(seconds());
        if (connected && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            modbus_close(ctx);
            connected = false;
            if (!options.waitOnHangUp) {
                std::fprintf(stderr, "remote-module: %s hung up (the other end closed the line)\n",
                             options.device.c_str());
                break;
            }
            std::fprintf(stderr, "remote-module: %s hung up; waiting for it to come back\n",
                         options.device.c_str());
        } else if (connected && (fds[0].revents & POLLIN) != 0) {
            const int length = modbus_receive(ctx, query);
            if (length > 0) {
                remote_module::Serve(ctx, mapping, module, query, length, seconds());
            }
        } else if (!connected && modbus_connect(ctx) == 0) {
            if (HungUp(ctx)) {
                modbus_close(ctx);
            } else {
                connected = true;
                std::fprintf(stderr, "remote-module: %s is back\n", options.device.c_str());
            }
        }
        if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP)) != 0) {
            char chunk[256];
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof(chunk));
            if (n <= 0) {
                stdinOpen = false;  // keep serving the line without a console
            } else {
                console.append(chunk, static_cast<size_t>(n));
                while (const std::optional<std::string> line = console.next()) {
                    if (!module.command(*line)) {
                        quit = true;
                        break;
                    }
                }
            }
        }
        serving = !quit && (connected || options.waitOnHangUp);
    }
    return exitCode;  // the line closed and freed with the registers on the way out
}
