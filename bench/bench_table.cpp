// The panel's performance in one table: each screen's full paint and screen change on the
// simulated board, the drivers' inner loops read from the target image, the control cycle's cost,
// and the simulator's own speed. Every figure says how it was obtained.
//
//   build/host-release/bench/bench_table [--image ELF] [--loopcost PROGRAM] [--quick]
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "display/hmi_Init.hpp"
#include "display/hx8347_driver.hpp"
#include "graphics/context.hpp"
#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "periph/sysctl.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/ladder.hpp"
#include "project/ladder2c.hpp"
#include "vars/pvar.hpp"
#include "support/fresh_board.hpp"
#include "thumb_timing.hpp"
#include "widgets/widget.hpp"

namespace {

constexpr int kAccessCycles = 2;  // the simulated board's cost of a peripheral access
// The emulated core's own timing table, given to loopcost: a store with an immediate offset, and
// a taken branch.
constexpr int kStoreCycles = sim::arm::CycleTable::kStoreImmediate;
constexpr int kBranchCycles = sim::arm::CycleTable::kBranch;

// --- Pixels by the loop that writes them: the driver table wrapped with counters. ---

enum LoopClass { kFill, kRow16, kRow8, kRow4, kRow1, kSingle, kClasses };
const char* const kClassNames[kClasses] = {"fill",  "16 bpp row", "8 bpp row",
                                           "4 bpp row", "1 bpp row", "single pixel"};
const char* const kClassRoutines[kClasses] = {"FoxLink320x240x16_HX8347A_RectFill",
                                              "hx8347_row16",
                                              "hx8347_row8",
                                              "Driver<hx8347::Landscape>::Row4",
                                              "Driver<hx8347::Landscape>::Row1",
                                              nullptr};
uint64_t g_pixels[kClasses];
DisplayDriver g_real;

void CountPixelDraw(void* d, int32_t x, int32_t y, uint32_t c) {
    ++g_pixels[kSingle];
    g_real.PixelDraw(d, x, y, c);
}
void CountPixelDrawMultiple(void* d, int32_t x, int32_t y, int32_t x0, int32_t count, int32_t bpp,
                            const uint8_t* data, const void* palette) {
    const int cls = bpp == 16 ? kRow16 : bpp == 8 ? kRow8 : bpp == 4 ? kRow4 : kRow1;
    g_pixels[cls] += count > 0 ? static_cast<uint64_t>(count) : 0;
    g_real.PixelDrawMultiple(d, x, y, x0, count, bpp, data, palette);
}
void CountLineDrawH(void* d, int32_t x1, int32_t x2, int32_t y, uint32_t c) {
    g_pixels[kFill] += x2 >= x1 ? static_cast<uint64_t>(x2 - x1 + 1) : 0;
    g_real.LineDrawH(d, x1, x2, y, c);
}
void CountLineDrawV(void* d, int32_t x, int32_t y1, int32_t y2, uint32_t c) {
    g_pixels[kFill] += y2 >= y1 ? static_cast<uint64_t>(y2 - y1 + 1) : 0;
    g_real.LineDrawV(d, x, y1, y2, c);
}
void CountRectFill(void* d, const Rect* r, uint32_t c) {
    if (r->xmax >= r->xmin && r->ymax >= r->ymin) {
        g_pixels[kFill] += static_cast<uint64_t>(r->xmax - r->xmin + 1) *
                           static_cast<uint64_t>(r->ymax - r->ymin + 1);
    }
    g_real.RectFill(d, r, c);
}

void WrapDriver() {
    g_real = g_sDisplayDriverROM;
    g_sDisplayDriverROM.PixelDraw = CountPixelDraw;
    g_sDisplayDriverROM.PixelDrawMultiple = CountPixelDrawMultiple;
    g_sDisplayDriverROM.LineDrawH = CountLineDrawH;
    g_sDisplayDriverROM.LineDrawV = CountLineDrawV;
    g_sDisplayDriverROM.RectFill = CountRectFill;
}

// --- The inner loops, from loopcost's reading of the target image. ---

struct LoopFigures {
    std::string routine;
    std::string range;
    int pixels = 0;  // a pass
    double instrDear = 0, instrCheap = 0;
    double storesDear = 0, storesCheap = 0;
    double cyclesDear = 0, cyclesCheap = 0;
};

std::vector<LoopFigures> ReadLoops(const std::string& loopcost, const std::string& image) {
    std::vector<LoopFigures> loops;
    std::string command = loopcost + " --tsv --store-cycles " + std::to_string(kStoreCycles) +
                          " --branch-cycles " + std::to_string(kBranchCycles) + " '" + image +
                          "' FoxLink320x240x16_HX8347A_RectFill hx8347_landscape_line_draw_h "
                          "'Driver<hx8347::Landscape>::LineDrawHSteps' "
                          "FoxLink320x240x16_HX8347A_LineDrawV";
    for (int c = kRow16; c <= kRow1; ++c) {
        command += std::string(" '") + kClassRoutines[c] + "'";
    }
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return loops;
    }
    char line[512];
    while (fgets(line, sizeof(line), pipe.get()) != nullptr) {
        char routine[200];
        char range[40];
        LoopFigures f;
        if (std::sscanf(line, "%199[^\t]\t%39[^\t]\t%d\t%lf\t%lf\t%lf\t%lf\t%lf\t%lf", routine,
                        range, &f.pixels, &f.instrDear, &f.instrCheap, &f.storesDear,
                        &f.storesCheap, &f.cyclesDear, &f.cyclesCheap) == 9) {
            f.routine = routine;
            f.range = range;
            loops.push_back(f);
        }
    }
    return loops;
}

// --- Screens. ---

uint64_t BusStores(sim::Board& board) {
    uint64_t n = 0;
    for (const char* port : {"GPIO port A", "GPIO port B", "GPIO port F"}) {
        n += board.accessCounts(port).writes;
    }
    return n;
}

struct Paint {
    uint64_t stores = 0;
    uint64_t pixels = 0;
    uint64_t cells = 0;  // distinct cells of the panel those pixels went to
    double simulatedMs = 0;
};

Paint Measure(sim::Board& board, uint32_t frame) {
    std::memset(g_pixels, 0, sizeof(g_pixels));
    const uint64_t stores0 = BusStores(board);
    const double t0 = board.nowMs();
    std::vector<bool> written(static_cast<size_t>(sim::DisplayModule::kColumns) *
                              sim::DisplayModule::kRows);
    Paint p;
    sim::DisplayModule& display = sim::DisplayOf(board);
    display.setWordTap([&](const sim::DisplayModule::Latched& l) {
        if (l.data && l.index == 0x22 && l.cell >= 0 && !written[static_cast<size_t>(l.cell)]) {
            written[static_cast<size_t>(l.cell)] = true;
            ++p.cells;
        }
    });
    hmi_GotoFrame(frame);
    WidgetMessageQueueProcess();
    display.setWordTap(nullptr);
    p.stores = BusStores(board) - stores0;
    p.simulatedMs = board.nowMs() - t0;
    for (int c = 0; c < kClasses; ++c) {
        p.pixels += g_pixels[c];
    }
    return p;
}

// Wall time, and the process's processor time (the same on an idle host; on a shared one the
// processor time is what the simulator itself took).
struct Took {
    double wall;
    double cpu;
};

double CpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

Took Time(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu0 = CpuNow();
    work();
    return Took{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                CpuNow() - cpu0};
}

// The whole firmware on its thread, as panel-sim runs it: virtual seconds per wall second while
// idle on the first screen and during a tour of the screens through their buttons.
int SimulatorSpeed(bool quick) {
    sim::PanelHarness panel;
    panel.runUntilMs(1500);  // start-up and the first screen
    const double idleSeconds = quick ? 5 : 60;
    const double t0 = panel.nowMs();
    const Took idle = Time([&] { panel.runUntilMs(t0 + idleSeconds * 1e3); });
    // The tour script's taps: 1 -> 2 -> 3 -> 4 -> 5 -> 2; each a 100 ms touch, then 300 ms.
    const int taps[][2] = {{158, 171}, {120, 208}, {193, 208}, {265, 208}, {47, 208}};
    const int rounds = quick ? 2 : 10;
    sim::TouchPanel& touch = sim::TouchOf(panel.board());
    uint32_t changes = 0;
    const double tourStart = panel.nowMs();
    const uint64_t tourStores0 = BusStores(panel.board());
    const Took tour = Time([&] {
        for (int r = 0; r < rounds; ++r) {
            for (const auto& tap : taps) {
                if (r > 0 && tap[0] == 158) {
                    continue;  // the welcome screen is left once
                }
                const uint32_t before = _CurrentFrame;
                touch.press(tap[0], tap[1]);
                panel.runForMs(100);
                touch.release();
                panel.runForMs(300);
                changes += _CurrentFrame != before ? 1 : 0;
            }
        }
    });
    const double tourSeconds = (panel.nowMs() - tourStart) / 1e3;
    const auto tourStores = static_cast<double>(BusStores(panel.board()) - tourStores0);
    std::printf("  idle on screen 1: %.0f virtual s in %.3f s wall (%.3f s processor) = %.0f x real\n"
                "  time (%.0f x by processor time)\n",
                idleSeconds, idle.wall, idle.cpu, idleSeconds / idle.wall, idleSeconds / idle.cpu);
    std::printf("  screen tour: %u screen changes in %.1f virtual s (a 100 ms tap, then 300 ms),\n"
                "  %.3f s wall (%.3f s processor) = %.0f x real time (%.0f x by processor time)\n",
                changes, tourSeconds, tour.wall, tour.cpu, tourSeconds / tour.wall,
                tourSeconds / tour.cpu);
    std::printf("  %.1f ns of processor time a display-bus store during the tour, everything\n"
                "  included (the firmware's own host code, the other models, the hand-overs)\n",
                tour.cpu * 1e9 / tourStores);
    return 0;
}

double ChildrenCpu() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// A script for panel-sim in a temporary file, or "" when it cannot be written.
std::string TemporaryScript(const std::string& text) {
    char script[] = "/tmp/bench-table-XXXXXX";
    const int fd = mkstemp(script);
    if (fd < 0) {
        return {};
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!written) {
        unlink(script);
        return {};
    }
    return script;
}

// One panel-sim --image run of a script: its wall and processor time; false when it failed.
bool TimeImageScript(const std::string& image, const std::string& text, Took& took) {
    const std::string script = TemporaryScript(text);
    if (script.empty()) {
        return false;
    }
    const std::string command = std::string("'") + PANEL_SIM + "' --image '" + image +
                                "' --script " + script + " >/dev/null 2>&1";
    const double cpu0 = ChildrenCpu();
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    took = Took{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                ChildrenCpu() - cpu0};
    unlink(script.c_str());
    return status == 0;
}

// The host build's screen tour made by the real image on the emulated core: the same taps at
// the same pace, timed as a run of its own less a run of the start-up alone.
void ImageSpeed(const std::string& image, bool quick) {
    const int rounds = quick ? 2 : 10;
    const char* const taps[] = {"158 171", "120 208", "193 208", "265 208", "47 208"};
    const std::string startUp = "wait 1500\n";
    std::string tour = startUp;
    int count = 0;
    for (int r = 0; r < rounds; ++r) {
        for (const char* tap : taps) {
            if (r > 0 && std::string(tap) == "158 171") {
                continue;  // the welcome screen is left once
            }
            tour += std::string("tap ") + tap + " 100\nwait 300\n";
            ++count;
        }
    }
    Took alone{};
    Took whole{};
    if (!TimeImageScript(image, startUp, alone) || !TimeImageScript(image, tour, whole)) {
        std::printf("  image screen tour: no figures (panel-sim --image failed)\n");
        return;
    }
    const double seconds = count * 0.4;
    const double wall = whole.wall - alone.wall;
    const double cpu = whole.cpu - alone.cpu;
    std::printf("  image screen tour (panel-sim --image, the same %d taps): %.1f virtual s in\n"
                "  %.3f s wall (%.3f s processor) = %.1f x real time (%.1f x by processor time),\n"
                "  less a run of the start-up alone\n",
                count, seconds, wall, cpu, seconds / wall, seconds / cpu);
}

[[noreturn]] void Bad(const std::string& what) {
    std::fprintf(stderr, "bench_table: %s (see --help)\n", what.c_str());
    std::exit(2);
}

}  // namespace

// The same screen changes made by the real image on the emulated core (panel-sim --image, its
// script command screen-changes): measured instructions and estimated cycles, per change and
// per pixel painted (every screen repaints the whole panel, so a screen's pixels are the host
// build's count for it).
void RealImage(const std::string& image, const std::array<uint64_t, 6>& pixels) {
    const std::string tour =
        "wait 1000\ntap 158 171\nwait 300\ntap 120 208\nwait 300\ntap 193 208\nwait 300\n"
        "tap 265 208\nwait 300\ntap 47 208\nwait 300\nscreen-changes\n"
        // The control cycle on screen 3: the module holds still, then every value the screen
        // shows changes at once; the cycles after it read and repaint them.
        "tap 120 208\nwait 300\nmodule-process stop\nwait 500\n"
        "calls default_timer_proc\ncalls polling_Dev_1\ncalls CanvasMsgProc\n"
        "register 101 11\nregister 102 12\nregister 103 13\nregister 104 14\n"
        "register 105 15\nregister 106 16\nregister 107 17\nregister 114 18\n"
        "register 115 19\nregister 116 20\nregister 117 21\nwait 250\n"
        "calls default_timer_proc\ncalls polling_Dev_1\ncalls CanvasMsgProc\n";
    const std::string script = TemporaryScript(tour);
    std::printf("The real image on the emulated core (panel-sim --image %s)\n", image.c_str());
    const std::string command = std::string("'") + PANEL_SIM + "' --image '" + image +
                                "' --script " + script + " 2>&1";
    FILE* out = !script.empty() ? popen(command.c_str(), "r") : nullptr;
    int rows = 0;
    double worstMs = 0;
    unsigned worstFrame = 0;
    // The second report of each measured function: the cycles after the values changed.
    struct Calls {
        int reports = 0;
        unsigned long long count = 0, instructions = 0, cycles = 0;
        double virtualMs = 0;
    };
    std::map<std::string, Calls> calls;
    char line[512];
    while (out != nullptr && std::fgets(line, sizeof(line), out) != nullptr) {
        char function[64];
        Calls c;
        if (std::sscanf(line, "%63[A-Za-z_0-9]: %llu calls, %llu instructions, ~%llu cycles, %lf ms",
                        function, &c.count, &c.instructions, &c.cycles, &c.virtualMs) == 5) {
            Calls& kept = calls[function];
            c.reports = kept.reports + 1;
            kept = c;
            continue;
        }
        unsigned frame = 0;
        double at = 0;
        double virtualMs = 0;
        unsigned long long instructions = 0;
        unsigned long long cycles = 0;
        if (std::sscanf(line, "start-up to the first screen painted: %llu instructions, ~%llu cycles",
                        &instructions, &cycles) == 2) {
            std::printf("  start-up to the first screen: %llu instructions, ~%llu cycles (%.1f ms "
                        "est. at 50 MHz)\n",
                        instructions, cycles, static_cast<double>(cycles) / 50e3);
        } else if (std::sscanf(line,
                               "hmi_GotoFrame(%u) at %lf ms: %llu instructions, ~%llu cycles, "
                               "%lf ms virtual",
                               &frame, &at, &instructions, &cycles, &virtualMs) == 5 &&
                   frame >= 1 && frame <= 5) {
            if (rows++ == 0) {
                std::printf("  %-8s %12s %12s %8s %8s %9s %9s\n", "screen", "instructions",
                            "est. cycles", "est. ms", "bus ms", "instr/px", "cycles/px");
            }
            const double px = static_cast<double>(pixels[frame]);
            const double ms = static_cast<double>(cycles) / 50e3;
            std::printf("  %-8u %12llu %12llu %8.2f %8.2f %9.2f %9.2f\n", frame, instructions,
                        cycles, ms, virtualMs,
                        px > 0 ? static_cast<double>(instructions) / px : 0.0,
                        px > 0 ? static_cast<double>(cycles) / px : 0.0);
            if (ms > worstMs) {
                worstMs = ms;
                worstFrame = frame;
            }
        }
    }
    const int status = out != nullptr ? pclose(out) : -1;
    if (!script.empty()) {
        unlink(script.c_str());
    }
    if (rows == 0 || status != 0) {
        std::printf("  (no figures: build the target-release preset and panel-sim)\n");
    }
    if (rows != 0) {
        std::printf("  the dearest screen change: screen %u, %.2f ms est. at 50 MHz (%s 15 ms)\n",
                    worstFrame, worstMs, worstMs < 15 ? "under" : "NOT under");
    }
    const Calls& cycle = calls["default_timer_proc"];
    const Calls& exchange = calls["polling_Dev_1"];
    const Calls& labels = calls["CanvasMsgProc"];
    if (cycle.reports == 2 && exchange.reports == 2 && labels.reports == 2 && cycle.count > 0 &&
        cycle.count == exchange.count) {
        const double own = static_cast<double>(cycle.cycles - exchange.cycles) /
                           static_cast<double>(cycle.count);
        std::printf(
            "  control cycle on screen 3, all %llu shown values changed: the cycle without its\n"
            "  exchange ~%.0f cycles (mean of %llu cycles), their repaint ~%llu cycles; together\n"
            "  %.2f ms est. at 50 MHz. The exchange itself: %.2f ms virtual a cycle (the line)\n",
            labels.count, own, cycle.count, labels.cycles,
            (own + static_cast<double>(labels.cycles)) / 50e3,
            exchange.virtualMs / static_cast<double>(exchange.count));
    }
    std::printf(
        "  instructions: counted by the emulated core over each screen change (every executed\n"
        "  instruction, set-up and widgets included). est. cycles: an estimate from its table of\n"
        "  Cortex-M3 timings on a bus without wait states (sim/arm_core/thumb_timing.hpp: a store\n"
        "  1 cycle, a load 2 or 1 pipelined, a branch 2 taken, 1 not). bus ms: the virtual time\n"
        "  of the change when every peripheral access holds the bus %d cycles (the simulated\n"
        "  board's figure), overlapping the other instructions. Per pixel: over the screen's pixels.\n\n",
        kAccessCycles);
}

int main(int argc, char** argv) {
    std::string image = PANEL_TARGET_IMAGE;
    std::string loopcost = PANEL_LOOPCOST;
    bool quick = false;
    bool simulatorOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help") {
            std::puts(
                "usage: bench_table [--image ELF] [--loopcost PROGRAM] [--quick]\n"
                "Prints the panel's performance table: screen paints on the simulated board, the\n"
                "display drivers' inner loops read from the target image, the control cycle, and\n"
                "the simulator's speed. --quick shortens the simulator-speed runs.");
            return 0;
        } else if (a == "--image" || a == "--loopcost") {
            if (i + 1 >= argc) {
                Bad(a + " needs a value");
            }
            (a == "--image" ? image : loopcost) = argv[++i];
        } else if (a == "--quick") {
            quick = true;
        } else if (a == "--simulator-speed") {
            simulatorOnly = true;  // the part that needs a process of its own
        } else {
            Bad("unknown argument " + a);
        }
    }

    if (simulatorOnly) {
        return SimulatorSpeed(quick);
    }
    const std::vector<LoopFigures> loops = ReadLoops(loopcost, image);
    std::printf("Display drivers' inner loops (loopcost on %s)\n", image.c_str());
    std::printf("  %-34s %-10s %6s %15s %15s %15s\n", "routine", "loop", "px/pass",
                "instr/px", "stores/px", "cycles/px");
    std::printf("  %-34s %-10s %6s %15s %15s %15s\n", "", "", "", "dearest cheapest",
                "dearest cheapest", "dearest cheapest");
    for (const auto& l : loops) {
        std::printf("  %-34s %-10s %6d %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f\n", l.routine.c_str(),
                    l.range.c_str(), l.pixels, l.instrDear, l.instrCheap, l.storesDear,
                    l.storesCheap, l.cyclesDear, l.cyclesCheap);
    }
    if (loops.empty()) {
        std::printf("  (no loops read: build the target-release preset and tools/loopcost)\n");
    }
    std::printf(
        "  px/pass: WR strobes a pass; dearest / cheapest: the longest and shortest path through a\n"
        "  pass (a picture row is cheapest when its colour repeats); cycles are estimates at 1 an\n"
        "  instruction, %d a store, %d the taken loop branch (the emulated core's table).\n\n",
        kStoreCycles, kBranchCycles);

    // Start-up, then each screen's first paint and a change to it from the next screen.
    sim::Board& board = FreshBoard();
    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
    const double startT0 = board.nowMs();
    const uint64_t startStores = BusStores(board);
    hmi_Init(1);
    const double startMs = board.nowMs() - startT0;
    const uint64_t startUpStores = BusStores(board) - startStores;
    WrapDriver();
    // The fixed waits of the start-up: reset (20 + 20 + 150 ms), the controller's power-on
    // sequence and the settling after the clear; the simulated board has the HX8347-A.
    uint32_t waitsMs = 20 + 20 + 150 + 20;
    for (const hx8347::InitStep& step : hx8347::kHX8347APowerOn) {
        waitsMs += step.waitMs;
    }
    std::printf("Screens at 50 MHz (display start-up %.1f virtual ms, %llu bus stores; %u ms of it\n"
                "the fixed reset, power-on and settling waits, kept as the controller needs them)\n",
                startMs, static_cast<unsigned long long>(startUpStores), waitsMs);
    std::printf("  %-8s %-12s %9s %8s %8s %9s\n", "screen", "paint", "stores", "pixels", "cells",
                "sim ms");
    std::array<uint64_t, 6> screenPixels{};
    for (uint32_t frame = 1; frame <= 5; ++frame) {
        hmi_GotoFrame(frame == 1 ? 2 : 1);  // another screen first
        WidgetMessageQueueProcess();
        // Full paint: the screen over a cleared panel; change: over the screen before it.
        const Rect all{0, 0, 319, 239};
        g_real.RectFill(nullptr, &all, 0);
        const Paint full = Measure(board, frame);
        const uint32_t from = frame % 5 + 1;
        hmi_GotoFrame(from);
        WidgetMessageQueueProcess();
        const Paint change = Measure(board, frame);
        screenPixels[frame] = change.pixels;
        for (const auto& [what, p] : {std::pair{"full", full}, std::pair{"change", change}}) {
            std::printf("  %-8u %-12s %9llu %8llu %8llu %9.2f\n", frame,
                        std::string(what) == "full" ? "full" : ("from " + std::to_string(from)).c_str(),
                        static_cast<unsigned long long>(p.stores),
                        static_cast<unsigned long long>(p.pixels),
                        static_cast<unsigned long long>(p.cells), p.simulatedMs);
        }
    }
    std::printf(
        "  full: over a cleared panel; from N: a change from screen N. pixels: written (the screens\n"
        "  paint their background, then labels, boxes and pictures over it); cells: how many of\n"
        "  the panel's 76800 they went to. sim ms: virtual time on the\n"
        "  simulated board, %d cycles each peripheral access, counted exactly, other instructions\n"
        "  taking no time (the host build). Estimates with every instruction: the real image below.\n\n",
        kAccessCycles);

    RealImage(image, screenPixels);

    // The control cycle's CPU side on screen 3 (the most values), every shown value changed,
    // without the Modbus exchange and its line time.
    hmi_GotoFrame(3);
    WidgetMessageQueueProcess();
    const int cycles = 20;
    double cycleMs = 0;
    std::memset(g_pixels, 0, sizeof(g_pixels));
    const Took cycle = Time([&] {
        for (int i = 0; i < cycles; ++i) {
            for (VarRecord* v : {&Dev_1_AO3, &Dev_1_AO4, &Dev_1_AO5, &Dev_1_AO6, &Dev_1_AO7,
                                 &Dev_1_AO8, &Dev_1_AO9, &Dev_1_AO16, &Dev_1_AO17, &Dev_1_AO18,
                                 &Dev_1_AO19}) {
                var_set(v, static_cast<int32_t>(1000 + 37 * i));
            }
            const double t0 = board.nowMs();
            (void)ladder_main(1);
            (void)default_output(1);
            WidgetMessageQueueProcess();
            (void)default_input(1);
            cycleMs += board.nowMs() - t0;
        }
    });
    std::printf("Control cycle on screen 3 in the host build, every value changed, without the\n"
                "  line: %.3f virtual ms (bus accesses only; the estimate with every instruction is\n"
                "  the real image's above), %.1f us of host processor time a cycle\n\n",
                cycleMs / cycles, cycle.cpu / cycles * 1e6);

    // Simulator speed: ns per register access from full-screen fills, the median of five
    // rounds (one round now and then lands on a slow memory layout or a busy moment).
    const Rect all{0, 0, 319, 239};
    const int fills = quick ? 3 : 20;
    std::vector<double> cpuNs;
    std::vector<double> wallNs;
    for (int round = 0; round < 5; ++round) {
        const uint64_t accesses0 = BusStores(board);
        const Took fill = Time([&] {
            for (int i = 0; i < fills; ++i) {
                g_real.RectFill(nullptr, &all, static_cast<uint32_t>(i * 0x0841));
            }
        });
        const double accesses = static_cast<double>(BusStores(board) - accesses0);
        cpuNs.push_back(fill.cpu * 1e9 / accesses);
        wallNs.push_back(fill.wall * 1e9 / accesses);
    }
    std::sort(cpuNs.begin(), cpuNs.end());
    std::sort(wallNs.begin(), wallNs.end());
    std::printf("Simulator\n  %.1f ns a simulated register access by processor time (%.1f ns wall),\n"
                "  full-screen fills called directly (no firmware thread); the median of 5 rounds,\n"
                "  which ranged %.1f-%.1f ns\n",
                cpuNs[2], wallNs[2], cpuNs.front(), cpuNs.back());
    std::fflush(stdout);
    // The firmware on its own thread needs a fresh process.
    const std::string command =
        std::string("'") + argv[0] + "' --simulator-speed" + (quick ? " --quick" : "");
    const bool hostOk = std::system(command.c_str()) == 0;
    ImageSpeed(image, quick);
    return hostOk ? 0 : 1;
}
