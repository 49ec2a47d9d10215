#include "script.hpp"

#include <cstdio>
#include <istream>
#include <sstream>

#include "panel_models.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "workbench.hpp"

namespace app {

std::string StatusLine(sim::PanelHarness& panel) {
    sim::Board& board = panel.board();
    char line[200];
    std::snprintf(line, sizeof(line),
                  "t=%8.3f s  clock=%u Hz  ticks=%u  backlight=%s  frame=%u  Dev_1_ERROR=%d",
                  panel.nowMs() / 1000.0, board.sysctl().clockHz(), g_TimerTicksCount,
                  sim::DisplayOf(board).backlight() ? "on" : "off", _CurrentFrame,
                  static_cast<int>(Dev_1_ERROR.value));
    const Workbench* bench = Workbench::Current();
    return bench != nullptr ? line + bench->statusSuffix() : line;
}

namespace {

bool Halted(sim::StopReason reason) {
    return reason == sim::StopReason::Halted;
}

}  // namespace

int RunScript(sim::PanelHarness& panel, std::istream& script, const std::string& name) {
    sim::Board& board = panel.board();
    std::string line;
    int number = 0;
    const auto fail = [&](const std::string& why) {
        std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), number, why.c_str());
        return 1;
    };
    const auto run = [&](double ms) {
        if (Halted(panel.runForMs(ms))) {
            std::fprintf(stderr, "%s:%d: the firmware stopped: %s\n", name.c_str(), number,
                         board.runner().haltReason().c_str());
            return false;
        }
        return true;
    };
    std::string why;  // of a failed workbench command
    while (std::getline(script, line)) {
        ++number;
        std::istringstream words(line);
        std::string command;
        if (!(words >> command) || command[0] == '#') {
            continue;
        }
        if (command == "wait") {
            double ms = 0;
            if (!(words >> ms) || ms < 0) {
                return fail("wait needs a number of milliseconds");
            }
            if (!run(ms)) {
                return 1;
            }
        } else if (command == "touch" || command == "tap") {
            int x = 0;
            int y = 0;
            if (!(words >> x >> y)) {
                return fail(command + " needs X and Y");
            }
            sim::TouchOf(board).press(x, y);
            if (command == "tap") {
                double hold = 150;
                words >> hold;
                if (!run(hold)) {
                    return 1;
                }
                sim::TouchOf(board).release();
                if (!run(150)) {
                    return 1;
                }
            }
        } else if (command == "release") {
            sim::TouchOf(board).release();
        } else if (command == "screenshot") {
            std::string file;
            std::string error;
            if (!(words >> file)) {
                return fail("screenshot needs a file name");
            }
            if (!sim::DisplayOf(board).savePng(file, &error)) {
                return fail("cannot save " + file + ": " + error);
            }
        } else if (command == "expect-pixel") {
            int x = 0;
            int y = 0;
            std::string hex;
            if (!(words >> x >> y >> hex) || x < 0 || x >= 320 || y < 0 || y >= 240) {
                return fail("expect-pixel needs X Y RRGGBB inside the screen");
            }
            const uint32_t expected = static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
            const uint32_t actual = sim::DisplayOf(board).screenRgb(x, y);
            if (actual != expected) {
                char why[100];
                std::snprintf(why, sizeof(why), "pixel (%d, %d) is %06X, expected %06X", x, y,
                              actual, expected);
                return fail(why);
            }
        } else if (command == "status") {
            std::printf("%s\n", StatusLine(panel).c_str());
        } else if (bool ok = false; Workbench::Current() != nullptr &&
                                    Workbench::Current()->scriptCommand(command, words, ok, why)) {
            if (!ok) {
                return fail(why);
            }
        } else {
            return fail("unknown command '" + command + "'");
        }
    }
    return 0;
}

}  // namespace app
