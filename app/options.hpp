// Command line of panel-sim.
#pragma once

#include <optional>
#include <string>

#include "board.hpp"

namespace app {

struct Options {
    enum class Mode { Window, Headless, Script, Web };
    Mode mode = Mode::Window;
    double seconds = 5.0;  // virtual time to run (headless; the window closes after it)
    bool secondsGiven = false;
    double speed = 1.0;    // window and web: virtual time per wall time
    int scale = 2;         // window: pixels per panel pixel
    double exitAfter = 0;  // window: close after this many wall seconds (0: when closed)
    std::string screenshot;
    std::string script;
    std::string serialDevice;  // UART1 on a host serial device instead of the module model
    bool serialPty = false;    // UART1 on a new pseudo-terminal
    std::string image;         // run this ARM image on the emulated core instead (--image)
    sim::BoardConfig board;
    // The workbench.
    std::string modbusLog;  // the Modbus monitor's lines to this file ("-": standard output)
    std::string record;     // window or web session recorded as a script
    bool hashes = false;    // print hashes of the screens and the line at the end
    int webPort = -1;
    int gdbPort = -1;       // --gdb: a debugger on this loopback port (0: any free one)
    bool gdbWait = false;   // --gdb-wait: the processor waits at reset for the debugger       // --web: serve the panel on this loopback port (0: any free one)
    // The pin trace (--vcd): file, groups (sim::trace::Group bits), window in virtual ms.
    std::string vcd;
    unsigned vcdGroups = 0;
    double vcdStartMs = 0;
    double vcdEndMs = -1;  // -1: to the end of the run
};

// Parses argv; on an error or --help returns nothing and sets exitCode (0 for --help, 2 for an
// error, which has been printed).
std::optional<Options> ParseOptions(int argc, char** argv, int& exitCode);

}  // namespace app
