#include "options.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace app {

namespace {

constexpr const char* kUsage =
    "usage: panel-sim [options]\n"
    "  Runs the panel firmware on the simulated board. By default it opens a window showing the\n"
    "  panel: click and drag with the left mouse button to touch the screen.\n"
    "  Keys in the window: S screenshot (panel-NNN.png), P pause, Esc or Q quit.\n"
    "\n"
    "  --headless            no window: run for --seconds of virtual time, one status line per\n"
    "                        simulated second\n"
    "  --seconds N           virtual time to run headless (default 5)\n"
    "  --script FILE         no window: run the commands in FILE (see README), then stop\n"
    "  --speed F             window or web: virtual time per wall-clock time (default 1)\n"
    "  --scale N             window: size of a panel pixel on the screen (1-8, default 2)\n"
    "  --exit-after S        window: close after S seconds of wall time\n"
    "  --screenshot FILE     save the panel's screen as a PNG at the end\n"
    "  --controller A|G      the display module's controller (default A)\n"
    "  --no-calibration      leave the flash parameter area erased (touches map to 0,0)\n"
    "  --serial PATH         UART1 on a host serial device instead of the module model\n"
    "  --serial-pty          UART1 on a new pseudo-terminal (its path is printed)\n"
    "                        (with either, virtual time runs at the pace of real time)\n"
    "  --modbus-log FILE     write every Modbus frame on UART1's line to FILE ('-': standard\n"
    "                        output): virtual time, direction, hex, meaning and a verdict\n"
    "  --record FILE         window or web: record the session as a script (replay it with\n"
    "                        --script FILE)\n"
    "  --hashes              at the end, print a hash of every screen shown and of every\n"
    "                        character on UART1's line (a replay prints the same)\n"
    "  --web PORT            serve the panel on http://127.0.0.1:PORT/ (0: a free port, printed)\n"
    "                        instead of a window; stop it with Ctrl-C\n"
    "  Workbench keys in the window: 1 silent module, 2 bad CRC, 3 exception answers, 4 late\n"
    "  answers, 5 unplugged, 6-9 wrong address, wrong function, truncated, noise; 0 module back\n"
    "  to normal; M the Modbus monitor beside the panel (last exchanges, error counters).\n"
    "  --help                this text\n";

bool ParseNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

}  // namespace

std::optional<Options> ParseOptions(int argc, char** argv, int& exitCode) {
    Options options;
    const auto fail = [&exitCode](const std::string& why) {
        std::fprintf(stderr, "panel-sim: %s\n%s", why.c_str(), kUsage);
        exitCode = 2;
        return std::nullopt;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        double number = 0;
        if (arg == "--help" || arg == "-h") {
            std::printf("%s", kUsage);
            exitCode = 0;
            return std::nullopt;
        } else if (arg == "--headless") {
            options.mode = Options::Mode::Headless;
        } else if (arg == "--seconds" && hasValue) {
            if (!ParseNumber(argv[++i], number) || number <= 0) {
                return fail("--seconds needs a positive number");
            }
            options.seconds = number;
        } else if (arg == "--script" && hasValue) {
            options.mode = Options::Mode::Script;
            options.script = argv[++i];
        } else if (arg == "--speed" && hasValue) {
            if (!ParseNumber(argv[++i], number) || number <= 0 || number > 1000) {
                return fail("--speed needs a number above 0 and at most 1000");
            }
            options.speed = number;
        } else if (arg == "--scale" && hasValue) {
            if (!ParseNumber(argv[++i], number) || number < 1 || number > 8 ||
                number != static_cast<int>(number)) {
                return fail("--scale needs a whole number from 1 to 8");
            }
            options.scale = static_cast<int>(number);
        } else if (arg == "--exit-after" && hasValue) {
            if (!ParseNumber(argv[++i], number) || number <= 0) {
                return fail("--exit-after needs a positive number of seconds");
            }
            options.exitAfter = number;
        } else if (arg == "--screenshot" && hasValue) {
            options.screenshot = argv[++i];
        } else if (arg == "--controller" && hasValue) {
            const std::string value = argv[++i];
            if (value == "A") {
                options.board.panel.controller = sim::DisplayController::HX8347A;
            } else if (value == "G") {
                options.board.panel.controller = sim::DisplayController::HX8347G;
            } else {
                return fail("--controller takes A or G");
            }
        } else if (arg == "--serial" && hasValue) {
            options.serialDevice = argv[++i];
        } else if (arg == "--serial-pty") {
            options.serialPty = true;
        } else if (arg == "--modbus-log" && hasValue) {
            options.modbusLog = argv[++i];
        } else if (arg == "--record" && hasValue) {
            options.record = argv[++i];
        } else if (arg == "--hashes") {
            options.hashes = true;
        } else if (arg == "--web" && hasValue) {
            if (!ParseNumber(argv[++i], number) || number < 0 || number > 65535 ||
                number != static_cast<int>(number)) {
                return fail("--web needs a port number from 0 to 65535");
            }
            options.mode = Options::Mode::Web;
            options.webPort = static_cast<int>(number);
        } else if (arg == "--no-calibration") {
            options.board.panel.touchCalibrationStored = false;
        } else {
            return fail("unknown or incomplete argument '" + arg + "'");
        }
    }
    if (!options.record.empty() && options.mode != Options::Mode::Window &&
        options.mode != Options::Mode::Web) {
        return fail("--record records a window or --web session");
    }
    for (const std::string* file : {&options.modbusLog, &options.record}) {
        if (file->size() > 1 && (*file)[0] == '-') {
            return fail("'" + *file + "' looks like an option, not a file name");
        }
    }
    if (options.serialPty && !options.serialDevice.empty()) {
        return fail("--serial and --serial-pty exclude each other");
    }
    return options;
}

}  // namespace app
