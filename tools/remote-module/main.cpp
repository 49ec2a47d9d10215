// remote-module: a stand-alone remote I/O module on a serial device or pseudo-terminal.
//
// A Modbus RTU slave (libmodbus) holding the project's register block (its description's, as
// the build's register map has it: the demo's registers 98-119) with the module's process behind
// them: inputs that toggle, counters, analogue values that move, outputs that hold what was
// written, SMS and e-mail requests logged when their register goes 1 then 0. A bench runs it
// against a real panel; the tests run it against the simulated panel through a pseudo-terminal.
// Its slave address and line settings default to the project's.
//
// Lines on standard input:  set REG VALUE | get REG | quit   (REG: an address or a name)
// Lines on standard output: ready DEVICE | ok | value REG VALUE | write REG VALUE |
//                           request sms|email | error TEXT
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "process.hpp"

namespace {

struct Options {
    std::string device;
    int64_t baud = remote_io::kDevice.line.baud;
    char parity = remote_io::kDevice.line.parity;
    int64_t dataBits = remote_io::kDevice.line.dataBits;
    int64_t stopBits = remote_io::kDevice.line.stopBits;
    int64_t slave = remote_io::kSlaveAddress;
    bool running = true;
    bool waitOnHangUp = false;
};

std::string Usage() {
    const remote_io::LineSettings& line = remote_io::kDevice.line;
    const std::string settings = std::to_string(line.baud) + " " +
                                 std::to_string(line.dataBits) + line.parity +
                                 std::to_string(line.stopBits);
    return "usage: remote-module --device PATH [--baud N] [--parity N|E|O] [--data 5-8]\n"
           "                     [--stop 1|2] [--slave 1-247] [--static]\n"
           "                     [--on-hang-up exit|wait]\n"
           "  Serves the project's holding registers " +
           std::string(remote_io::AddressRange()) + " as Modbus RTU slave " +
           std::to_string(remote_io::kSlaveAddress) + " (" + settings +
           " unless told otherwise)\n"
           "  on a serial device or the peer end of a pseudo-terminal (e.g. the one\n"
           "  panel-sim --serial-pty prints).\n"
           "  --static keeps the inputs where they are (no process running), so 'set' can hold "
           "them.\n"
           "  --on-hang-up: when the other end closes the line, exit (default) or wait for it to\n"
           "  come back.\n"
           "  Standard input: 'set REG VALUE', 'get REG', 'quit'; REG is an address or a\n"
           "  register's name (DO1 or Dev_1_AO10, in any case).\n";
}

// Parses the command line; returns the exit code when the program should stop.
std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
    std::string parity(1, options.parity);
    std::string onHangUp = "exit";
    cli::Parser parser("remote-module", Usage());
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

class Module {
  public:
    Module(modbus_mapping_t* mapping, bool running) : mapping_(mapping) {
        process_.setRunning(running);
        sync(0);
    }

    // The process's view into the registers libmodbus answers from.
    void sync(double seconds) {
        process_.advanceTo(seconds);
        for (int i = 0; i < remote_io::kRegisterCount; ++i) {
            mapping_->tab_registers[i] = process_.read(i);
        }
    }

    // Registers libmodbus changed for a write request go through the process.
    void takeWrites(double seconds) {
        const size_t eventsBefore = process_.events().size();
        for (int i = 0; i < remote_io::kRegisterCount; ++i) {
            const uint16_t value = mapping_->tab_registers[i];
            if (value != process_.read(i)) {
                process_.write(i, value, seconds);
                Say("write " + std::to_string(remote_io::kFirstRegister + i) + " " +
                    std::to_string(value));
            }
        }
        for (size_t e = eventsBefore; e < process_.events().size(); ++e) {
            const bool sms = process_.events()[e].kind == remote_io::Event::Kind::Sms;
            Say(std::string("request ") + (sms ? "sms" : "email"));
        }
    }

    // One line from the console; every line that is not blank gets an answer.
    void command(const std::string& line) {
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string word; in >> word;) {
            words.push_back(word);
        }
        if (words.empty()) {
            return;
        }
        const std::string& verb = words[0];
        const size_t arguments = verb == "quit" ? 0 : verb == "get" ? 1 : verb == "set" ? 2 : 99;
        if (arguments == 99) {
            Say("error unknown command '" + verb + "' (set REG VALUE, get REG or quit)");
            return;
        }
        if (words.size() != arguments + 1) {
            Say("error " + verb + " takes " +
                (verb == "quit" ? std::string("nothing") : verb == "get" ? "REG" : "REG VALUE"));
            return;
        }
        if (verb == "quit") {
            std::exit(0);
        }
        try {
            // A register by its address, or by its tool or variable name ("DO1", "Dev_1_AO10").
            const bool named =
                !words[1].empty() && std::isdigit(static_cast<unsigned char>(words[1][0])) == 0;
            const int found = named ? remote_io::FindRegister(words[1]) : -1;
            if (named && found < 0) {
                Say("error no register named '" + words[1] + "'");
                return;
            }
            const int reg = named ? remote_io::kFirstRegister + found
                                  : static_cast<int>(cli::Whole(words[1], remote_io::kFirstRegister,
                                                                remote_io::kLastRegister, "REG"));
            const int index = reg - remote_io::kFirstRegister;
            if (verb == "get") {
                Say("value " + std::to_string(reg) + " " + std::to_string(process_.read(index)));
                return;
            }
            const auto value = static_cast<uint16_t>(cli::Whole(words[2], 0, 0xFFFF, "VALUE"));
            if (process_.running() && remote_io::IsInput(index)) {
                Say("error register " + std::to_string(reg) + " (" + remote_io::NameOf(index) +
                    ") is an input the module's process drives; start with --static to hold it");
                return;
            }
            process_.set(index, value);
            mapping_->tab_registers[index] = value;
            Say("ok");
        } catch (const cli::UsageError& e) {
            Say("error " + e.message);
        }
    }

  private:
    modbus_mapping_t* mapping_;
    remote_io::Process process_;
};

}  // namespace

// True when the other end of the line has gone: a pseudo-terminal whose panel closed it, or a
// device that was unplugged.
bool HungUp(modbus_t* ctx) {
    pollfd line = {modbus_get_socket(ctx), POLLIN, 0};
    return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int main(int argc, char** argv) {
    Options options;
    if (const std::optional<int> stop = ParseOptions(argc, argv, options)) {
        return *stop;
    }
    modbus_t* ctx = modbus_new_rtu(options.device.c_str(), static_cast<int>(options.baud),
                                   options.parity, static_cast<int>(options.dataBits),
                                   static_cast<int>(options.stopBits));
    if (ctx == nullptr || modbus_set_slave(ctx, static_cast<int>(options.slave)) != 0 ||
        modbus_connect(ctx) != 0) {
        const int error = errno;
        std::fprintf(stderr, "remote-module: %s: %s\n", options.device.c_str(),
                     modbus_strerror(error));
        if (ctx != nullptr) {
            modbus_free(ctx);
        }
        return 1;
    }
    modbus_mapping_t* mapping = modbus_mapping_new_start_address(
        0, 0, 0, 0, remote_io::kFirstRegister, remote_io::kRegisterCount, 0, 0);
    if (mapping == nullptr) {
        std::fprintf(stderr, "remote-module: %s\n", modbus_strerror(errno));
        modbus_close(ctx);
        modbus_free(ctx);
        return 1;
    }
    Module module(mapping, options.running);
    const auto started = std::chrono::steady_clock::now();
    const auto seconds = [started] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    Say("ready " + options.device);

    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    std::string input;
    bool stdinOpen = true;
    bool connected = true;
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
                module.sync(seconds());
                modbus_reply(ctx, query, length, mapping);
                module.takeWrites(seconds());
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
                input.append(chunk, static_cast<size_t>(n));
                size_t end;
                while ((end = input.find('\n')) != std::string::npos) {
                    module.command(input.substr(0, end));
                    input.erase(0, end + 1);
                }
            }
        }
        serving = connected || options.waitOnHangUp;
    }
    modbus_mapping_free(mapping);
    if (connected) {
        modbus_close(ctx);
    }
    modbus_free(ctx);
    return exitCode;
}
