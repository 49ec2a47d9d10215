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
#include <sstream>
#include <string>

#include "process.hpp"

namespace {

struct Options {
    std::string device;
    int baud = 115200;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
    int slave = remote_io::kSlaveAddress;
    bool running = true;
};

void Usage() {
    std::printf(
        "usage: remote-module --device PATH [--baud N] [--parity N|E|O] [--data N] [--stop N]\n"
        "                     [--slave N] [--static]\n"
        "  Serves holding registers 98-119 as Modbus RTU slave on a serial device or the\n"
        "  peer end of a pseudo-terminal (e.g. the one panel-sim --serial-pty prints).\n"
        "  --static keeps the inputs where they are (no process running).\n"
        "  Standard input: 'set REG VALUE', 'get REG', 'quit'.\n");
}

bool ParseInt(const char* text, int* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0') {
        return false;
    }
    *value = static_cast<int>(parsed);
    return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--device" && hasValue) {
            options->device = argv[++i];
        } else if (arg == "--baud" && hasValue) {
            if (!ParseInt(argv[++i], &options->baud))
                return false;
        } else if (arg == "--parity" && hasValue) {
            options->parity = argv[++i][0];
        } else if (arg == "--data" && hasValue) {
            if (!ParseInt(argv[++i], &options->dataBits))
                return false;
        } else if (arg == "--stop" && hasValue) {
            if (!ParseInt(argv[++i], &options->stopBits))
                return false;
        } else if (arg == "--slave" && hasValue) {
            if (!ParseInt(argv[++i], &options->slave))
                return false;
        } else if (arg == "--static") {
            options->running = false;
        } else {
            return false;
        }
    }
    return !options->device.empty();
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

    void command(const std::string& line) {
        std::istringstream in(line);
        std::string verb;
        int reg = 0;
        int value = 0;
        in >> verb;
        if (verb == "quit") {
            std::exit(0);
        }
        if (!(in >> reg) || reg < remote_io::kFirstRegister ||
            reg >= remote_io::kFirstRegister + remote_io::kRegisterCount) {
            Say("error register 98-119 expected");
            return;
        }
        const int index = reg - remote_io::kFirstRegister;
        if (verb == "get") {
            Say("value " + std::to_string(reg) + " " + std::to_string(process_.read(index)));
        } else if (verb == "set" && (in >> value) && value >= 0 && value <= 0xFFFF) {
            process_.set(index, static_cast<uint16_t>(value));
            mapping_->tab_registers[index] = static_cast<uint16_t>(value);
            Say("ok");
        } else {
            Say("error unknown command: " + line);
        }
    }

  private:
    modbus_mapping_t* mapping_;
    remote_io::Process process_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Usage();
        return 2;
    }
    modbus_t* ctx = modbus_new_rtu(options.device.c_str(), options.baud, options.parity,
                                   options.dataBits, options.stopBits);
    if (ctx == nullptr || modbus_set_slave(ctx, options.slave) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "remote-module: %s: %s\n", options.device.c_str(),
                     modbus_strerror(errno));
        return 1;
    }
    modbus_mapping_t* mapping = modbus_mapping_new_start_address(
        0, 0, 0, 0, remote_io::kFirstRegister, remote_io::kRegisterCount, 0, 0);
    if (mapping == nullptr) {
        std::fprintf(stderr, "remote-module: %s\n", modbus_strerror(errno));
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
    for (;;) {
        pollfd fds[2] = {{modbus_get_socket(ctx), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = ::poll(fds, stdinOpen ? 2 : 1, 50);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        module.sync(seconds());
        if ((fds[0].revents & POLLIN) != 0) {
            const int length = modbus_receive(ctx, query);
            if (length > 0) {
                module.sync(seconds());
                modbus_reply(ctx, query, length, mapping);
                module.takeWrites(seconds());
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
    }
    modbus_mapping_free(mapping);
    modbus_close(ctx);
    modbus_free(ctx);
    return 0;
}
