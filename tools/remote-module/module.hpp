// The bench module apart from its devices: the register table the Modbus side answers from,
// the process behind it, the console's commands and what the module reports. main.cpp wires
// these to a serial line (libmodbus) and the terminal; the fuzz targets drive them directly.
#pragma once

#include <modbus.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "process.hpp"

namespace remote_module {

// Prints one line of the module's output.
using Say = std::function<void(const std::string&)>;

class Module {
  public:
    // registers: the remote_io::kRegisterCount words libmodbus answers from (register 98 first).
    Module(uint16_t* registers, bool running, Say say);

    // The process's view into the registers.
    void sync(double seconds);
    // Registers changed by a write request go through the process and are reported.
    void takeWrites(double seconds);
    // One console line; every line that is not blank gets one line of answer. False after quit.
    bool command(const std::string& line);

    const remote_io::Process& process() const { return process_; }

  private:
    uint16_t* registers_;
    Say say_;
    remote_io::Process process_;
};

// Serves one request libmodbus received: the registers brought up to date first, the answer
// from them, the request's writes through the process afterwards.
void Serve(modbus_t* ctx, modbus_mapping_t* mapping, Module& module, const uint8_t* request,
           int length, double seconds);

// Console input, arriving in pieces, split into lines.
class ConsoleLines {
  public:
    void append(const char* data, size_t size) { pending_.append(data, size); }
    // The next complete line without its newline, if one has arrived.
    std::optional<std::string> next();

  private:
    std::string pending_;
};

}  // namespace remote_module
