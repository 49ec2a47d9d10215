#include "options.hpp"

#include <cstdio>
#include <utility>
#include <filesystem>

#include "cli.hpp"
#include "pin_trace.hpp"

namespace app {

namespace {

constexpr const char* kUsage =
    "usage: panel-sim [options]\n"
    "  Runs the panel firmware on the simulated board. By default it opens a window showing the\n"
    "  panel: click and drag with the left mouse button to touch the screen. Without a usable\n"
    "  display it says so and runs headless instead.\n"
    "  Keys in the window: S screenshot (panel-NNN.png in the current folder, never overwriting\n"
    "  one), P pause (clicks made while paused reach the panel on resume), Esc or Q quit.\n"
    "\n"
    "  --headless            no window: run for --seconds of virtual time, one status line per\n"
    "                        simulated second\n"
    "  --seconds N           virtual time to run (headless: default 5; window, web: stop after it)\n"
    "  --script FILE         no window: run the commands in FILE, then stop (the commands are\n"
    "                        listed in the README, section \"Scripts\")\n"
    "  --speed F             window or web: virtual time per wall-clock time (above 0, at most\n"
    "                        1000;\n"
    "                        default 1)\n"
    "  --scale N             window: size of a panel pixel on the screen (1-8, default 2)\n"
    "  --exit-after S        window: close after S seconds of wall time\n"
    "  --screenshot FILE     save the panel's screen as a PNG at the end of any run\n"
    "  --controller A|G      the display module's controller (default A)\n"
    "  --no-calibration      leave the flash parameter area erased (touches map to 0,0)\n"
    "  --serial PATH         UART1 on a host serial device instead of the module model\n"
    "  --serial-pty          UART1 on a new pseudo-terminal (its path is printed)\n"
    "                        (with either, virtual time runs at the pace of real time)\n"
    "  --image FILE          run the ARM firmware image (ELF, or the combined binary) on an\n"
    "                        emulated Cortex-M3 instead of the host-compiled firmware\n"
    "  --modbus-log FILE     write every Modbus frame on UART1's line to FILE ('-': standard\n"
    "                        output): virtual time, direction, hex, meaning and a verdict\n"
    "  --record FILE         window or web: record the session as a script (replay it with\n"
    "                        --script FILE)\n"
    "  --hashes              at the end, print a hash of every word the display took (every\n"
    "                        picture), of the screen, and of every character on UART1's line\n"
    "                        with its time (a replay prints the same)\n"
    "  --vcd FILE            a logic analyzer on the board's pins: every change as a value change\n"
    "                        dump (GTKWave, PulseView), time in virtual nanoseconds\n"
    "  --vcd-groups LIST     the pins traced, comma-separated: display, backlight, uart, speaker,\n"
    "                        touch, adc, all (default all)\n"
    "  --vcd-start MS        trace from this virtual time on (default 0)\n"
    "  --vcd-end MS          trace up to this virtual time (default: the end of the run)\n"
    "  --web PORT            serve the panel on http://127.0.0.1:PORT/ (0: a free port, printed)\n"
    "                        instead of a window; stop it with Ctrl-C\n"
    "  --gdb PORT            with --image: a debugger (gdb-multiarch: target remote :PORT) may\n"
    "                        connect on 127.0.0.1:PORT (0: a free port, printed); while it holds\n"
    "                        the processor, virtual time and every model stand still\n"
    "  --gdb-wait            hold the processor at reset until the debugger connects\n"
    "  Workbench keys in the window: 1 silent module, 2 bad CRC, 3 exception answers, 4 late\n"
    "  answers, 5 unplugged, 6-9 wrong address, wrong function, truncated, noise; 0 module back\n"
    "  to normal; M the Modbus monitor beside the panel (last exchanges, error counters).\n"
    "  --help                this text\n";

}  // namespace

std::optional<Options> ParseOptions(int argc, char** argv, int& exitCode) {
    Options options;
    bool headless = false;
    bool noCalibration = false;
    std::string controller;
    int64_t scale = options.scale;
    int64_t webPort = -1;
    int64_t gdbPort = -1;
    cli::Parser parser("panel-sim", kUsage);
    parser.flag("--headless", headless)
        .real("--seconds", options.seconds, 0.001, 1e7)
        .text("--script", options.script)
        .real("--speed", options.speed, 0.001, 1000)
        .whole("--scale", scale, 1, 8)
        .real("--exit-after", options.exitAfter, 0.001, 1e7)
        .text("--screenshot", options.screenshot)
        .option("--controller",
                [&options](const std::vector<std::string>& v) {
                    if (v[0] == "A") {
                        options.board.panel.controller = sim::DisplayController::HX8347A;
                    } else if (v[0] == "G") {
                        options.board.panel.controller = sim::DisplayController::HX8347G;
                    } else {
                        throw cli::UsageError{"--controller takes A or G, not '" + v[0] + "'"};
                    }
                })
        .flag("--no-calibration", noCalibration)
        .text("--serial", options.serialDevice)
        .flag("--serial-pty", options.serialPty)
        .text("--image", options.image)
        // The workbench.
        .text("--modbus-log", options.modbusLog)
        .text("--record", options.record)
        .flag("--hashes", options.hashes)
        .whole("--web", webPort, 0, 65535)
        .whole("--gdb", gdbPort, 0, 65535)
        .flag("--gdb-wait", options.gdbWait)
        .text("--vcd", options.vcd)
        .option("--vcd-groups",
                [&options](const std::vector<std::string>& v) {
                    std::string why;
                    const std::optional<unsigned> groups = sim::trace::ParseGroups(v[0], why);
                    if (!groups) {
                        throw cli::UsageError{"--vcd-groups " + v[0] + ": " + why};
                    }
                    options.vcdGroups = *groups;
                })
        .real("--vcd-start", options.vcdStartMs, 0, 1e10)
        .real("--vcd-end", options.vcdEndMs, 0, 1e10);
    if (const std::optional<int> stop = parser.parse(argc, argv)) {
        exitCode = *stop;
        return std::nullopt;
    }
    options.scale = static_cast<int>(scale);
    options.board.panel.touchCalibrationStored = !noCalibration;
    options.secondsGiven = parser.given("--seconds");

    const auto fail = [&](const std::string& why) {
        exitCode = parser.fail(why);
        return std::nullopt;
    };
    if (headless && parser.given("--script")) {
        return fail("--headless and --script exclude each other (a script runs without a window)");
    }
    if (options.serialPty && parser.given("--serial")) {
        return fail("--serial and --serial-pty exclude each other");
    }
    if (parser.given("--web") && (headless || parser.given("--script"))) {
        return fail(std::string("--web and ") + (headless ? "--headless" : "--script") +
                    " exclude each other");
    }
    options.webPort = static_cast<int>(webPort);
    options.gdbPort = static_cast<int>(gdbPort);
    if (parser.given("--gdb") && options.image.empty()) {
        return fail("--gdb debugs the ARM image: give --image FILE (the host build is debugged "
                    "with gdb itself)");
    }
    if (options.gdbWait && !parser.given("--gdb")) {
        return fail("--gdb-wait applies to a debugger: give --gdb PORT");
    }
    options.mode = parser.given("--web")    ? Options::Mode::Web
                   : parser.given("--script") ? Options::Mode::Script
                   : headless               ? Options::Mode::Headless
                                            : Options::Mode::Window;
    if (parser.given("--record") && options.mode != Options::Mode::Window &&
        options.mode != Options::Mode::Web) {
        return fail("--record records a window or --web session");
    }
    if (options.mode != Options::Mode::Window) {
        const char* mode = options.mode == Options::Mode::Web ? "--web"
                           : headless                         ? "--headless"
                                                              : "--script";
        for (const char* windowOnly : {"--speed", "--scale", "--exit-after"}) {
            if (options.mode == Options::Mode::Web && std::string(windowOnly) == "--speed") {
                continue;
            }
            if (parser.given(windowOnly)) {
                return fail(std::string(windowOnly) + " applies to the window, not with " + mode);
            }
        }
    }
    if (!parser.given("--vcd")) {
        for (const char* traceOnly : {"--vcd-groups", "--vcd-start", "--vcd-end"}) {
            if (parser.given(traceOnly)) {
                return fail(std::string(traceOnly) + " applies to a trace: give --vcd FILE");
            }
        }
    } else {
        if (options.vcd == "-") {
            return fail("--vcd needs a file, not standard output");
        }
        if (options.vcdGroups == 0) {
            options.vcdGroups = sim::trace::kAllGroups;
        }
        if (parser.given("--vcd-end") && options.vcdEndMs <= options.vcdStartMs) {
            return fail("--vcd-end must be after --vcd-start");
        }
    }
    if (options.mode == Options::Mode::Script && options.secondsGiven) {
        return fail("--seconds does not apply with --script (the script says how long to run)");
    }
    // Files written at the end of a run or while it runs: a folder that is missing or cannot be
    // written is found now, not after the run.
    try {
        for (const auto& [option, path] : {std::pair<const char*, const std::string&>{
                                               "--screenshot", options.screenshot},
                                           {"--record", options.record},
                                           {"--modbus-log", options.modbusLog},
                                           {"--vcd", options.vcd}}) {
            const bool standardOutput = path == "-" && std::string(option) != "--screenshot";
            if (parser.given(option) && !standardOutput) {
                cli::CheckOutputPath(path, option);
            }
        }
    } catch (const cli::UsageError& error) {
        std::fprintf(stderr, "panel-sim: %s\n", error.message.c_str());
        exitCode = 2;
        return std::nullopt;
    }
    return options;
}

}  // namespace app
