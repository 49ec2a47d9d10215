// The fault soak: the whole panel on the simulated board for a stretch of virtual time, with
// random touches on every screen and a remote module that misbehaves at random (silence, bad
// CRC, wrong address or function, exceptions, truncated, late and noisy answers, the cable
// unplugged). Checked throughout:
//   - the firmware never faults or stops, and control cycles keep completing;
//   - Dev_1_ERROR is the outcome of the cycle's exchange (where that outcome is certain);
//   - after a good read every mirrored variable holds the module's value;
//   - no mirrored variable ever holds a value the module did not send or the operator did not
//     set;
//   - at checkpoints (module well again, two cycles later, all paints done) the screen is a
//     complete frame of the current values: repainting the whole screen changes no pixel;
//   - the models' logs stay bounded.
// PANEL_SOAK_SECONDS sets the virtual time (default 120), PANEL_SOAK_SEED the random seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "remote_module.hpp"
#include "uart.hpp"
#include "vars/pvar.hpp"
#include "widgets/widget.hpp"

namespace {

using sim::ModuleFault;
using sim::StopReason;

constexpr int kRegisters = 22;
VarRecord* const kMirrors[kRegisters] = {
    &Dev_1_AO0,  &Dev_1_AO1,  &Dev_1_AO2,  &Dev_1_AO3,  &Dev_1_AO4,  &Dev_1_AO5,
    &Dev_1_AO6,  &Dev_1_AO7,  &Dev_1_AO8,  &Dev_1_AO9,  &Dev_1_AO10, &Dev_1_AO11,
    &Dev_1_AO12, &Dev_1_AO13, &Dev_1_AO14, &Dev_1_AO15, &Dev_1_AO16, &Dev_1_AO17,
    &Dev_1_AO18, &Dev_1_AO19, &Dev_1_AO20, &Dev_1_AO21};

double EnvNumber(const char* name, double fallback) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtod(text, nullptr) : fallback;
}

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// State the checks share with the cycle wrapper, which runs on the firmware's thread.
struct Soak {
    sim::Board* board = nullptr;
    sim::RemoteModule* module = nullptr;
    WidgetMsgProc cycle = nullptr;
    bool plugged = true;
    bool unplugDuringCycle = false;
    ModuleFault previousFault = ModuleFault::None;
    std::set<int32_t> legitimate[kRegisters];
    size_t cycles = 0;
    size_t exchangesChecked = 0;
    size_t errorChecks = 0;
    size_t goodReads = 0;
    size_t byFault[16] = {};
    std::vector<std::string> failures;

    void fail(const std::string& what) {
        if (failures.size() < 20) {
            failures.push_back("at " + std::to_string(board->nowMs()) + " ms: " + what);
        }
    }
};
Soak g_soak;

// Deliveries under way, watched through the entry points the queue delivers with: a message
// taken off the queue is drawn only when its delivery returns.
uint32_t g_deliveriesRunning = 0;
uint32_t WatchedPostOrder(WidgetRecord* widget, uint32_t message, uint32_t param1, uint32_t param2,
                          uint32_t stop) {
    ++g_deliveriesRunning;
    const uint32_t result = RAM_WidgetMessageSendPostOrder(widget, message, param1, param2, stop);
    --g_deliveriesRunning;
    return result;
}
uint32_t WatchedPreOrder(WidgetRecord* widget, uint32_t message, uint32_t param1, uint32_t param2,
                         uint32_t stop) {
    ++g_deliveriesRunning;
    const uint32_t result = RAM_WidgetMessageSendPreOrder(widget, message, param1, param2, stop);
    --g_deliveriesRunning;
    return result;
}
bool g_cycleRunning = false;

// Nothing queued, nothing being delivered, no control cycle running: the screen is up to date.
bool Quiet() {
    return g_ulMQRead == g_ulMQWrite && g_deliveriesRunning == 0 && !g_cycleRunning;
}

uint16_t Word(const std::vector<uint8_t>& frame, size_t at) {
    return static_cast<uint16_t>(frame[at] << 8 | frame[at + 1]);
}

// One control cycle, with the checks around it.
uint32_t CheckedCycle(WidgetRecord* widget, uint32_t message, uint32_t param1, uint32_t param2) {
    Soak& s = g_soak;
    // Values the operator set since the last cycle wait, marked, for this cycle's write.
    for (int i = 0; i < kRegisters; ++i) {
        if ((kMirrors[i]->flags & VAR_FLAG_WRITE) != 0) {
            s.legitimate[i].insert(kMirrors[i]->value);
        }
    }
    const size_t before = s.module->exchanges().size();
    s.unplugDuringCycle = !s.plugged;
    g_cycleRunning = true;
    const uint32_t result = s.cycle(widget, message, param1, param2);
    g_cycleRunning = false;
    ++s.cycles;
    const auto& exchanges = s.module->exchanges();

    if (exchanges.size() == before + 1 && !s.unplugDuringCycle && s.plugged) {
        const sim::RemoteModule::Exchange& e = exchanges.back();
        ++s.exchangesChecked;
        ++s.byFault[static_cast<int>(e.fault) & 15];
        const bool write = e.request.size() > 1 && e.request[1] == 16;
        if (write) {
            for (int i = 0; i < kRegisters; ++i) {
                s.legitimate[i].insert(static_cast<int32_t>(Word(e.request, 7 + 2 * i)));
            }
        }
        // A late answer to the previous request may still be on the line, and noise may or
        // may not spoil the answer: there the outcome is not certain.
        const bool certain = s.previousFault != ModuleFault::Late && e.fault != ModuleFault::Noise;
        const bool good = e.fault == ModuleFault::None && !e.answer.empty();
        if (certain) {
            ++s.errorChecks;
            if (Dev_1_ERROR.value != (good ? 0 : 1)) {
                s.fail("Dev_1_ERROR " + std::to_string(Dev_1_ERROR.value) + " after an exchange " +
                       (good ? "that succeeded" : "that failed") + " (" + sim::Describe(e.fault) +
                       ")");
            }
        }
        // A late answer is the module's too: the panel may take it for the next read's.
        const bool sentInFull = e.fault == ModuleFault::None || e.fault == ModuleFault::Late;
        if (sentInFull && !write && e.answer.size() == 49) {
            for (int i = 0; i < kRegisters; ++i) {
                s.legitimate[i].insert(Word(e.answer, 3 + 2 * i));
            }
        }
        if (good && !write && e.answer.size() == 49 && certain) {
            ++s.goodReads;
            for (int i = 0; i < kRegisters; ++i) {
                const int32_t sent = Word(e.answer, 3 + 2 * i);
                if (kMirrors[i]->value != sent) {
                    s.fail("Dev_1_AO" + std::to_string(i) + " holds " +
                           std::to_string(kMirrors[i]->value) + " after the module sent " +
                           std::to_string(sent));
                }
            }
        }
        if (good && write) {
            for (int i = 0; i < kRegisters; ++i) {
                if (kMirrors[i]->value != Word(e.request, 7 + 2 * i)) {
                    s.fail("Dev_1_AO" + std::to_string(i) + " differs from the value written");
                }
            }
        }
        s.previousFault = e.fault;
    } else if (exchanges.size() > before + 1) {
        s.fail("a cycle made " + std::to_string(exchanges.size() - before) + " exchanges");
    }
    for (int i = 0; i < kRegisters; ++i) {
        if (s.legitimate[i].count(kMirrors[i]->value) == 0) {
            s.fail("Dev_1_AO" + std::to_string(i) + " holds " + std::to_string(kMirrors[i]->value) +
                   ", which neither the module sent nor the operator set");
        }
    }
    // The checked exchanges are forgotten, so that the log stays bounded.
    s.module->clearExchanges();
    return result;
}

// The screen as the display module holds it (whatever the backlight).
std::vector<uint16_t> Screen(const sim::DisplayModule& display) {
    std::vector<uint16_t> pixels;
    pixels.reserve(320 * 240);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            pixels.push_back(display.screenNative(x, y));
        }
    }
    return pixels;
}

struct Point {
    int x;
    int y;
};
// Buttons of the five screens (navigation, enter, the send buttons, switches), touched more
// often than random points so that every screen is visited.
constexpr Point kButtons[] = {{47, 208},  {120, 208}, {193, 208}, {265, 208}, {158, 171},
                              {155, 92},  {156, 143}, {160, 127}, {50, 80},   {120, 150},
                              {50, 120},  {50, 160},  {270, 80},  {270, 120}, {270, 160}};

TEST(FaultSoak, RandomTouchesAndAMisbehavingModule) {
    const double seconds = EnvNumber("PANEL_SOAK_SECONDS", 120);
    const auto seed = static_cast<uint32_t>(EnvNumber("PANEL_SOAK_SEED", 20261210));
    std::mt19937 random(seed);
    std::mt19937 moduleRandom(seed ^ 0x9E3779B9u);  // the module's own, apart from the touches
    const auto wallStart = std::chrono::steady_clock::now();

    sim::PanelHarness panel;
    sim::Board& board = panel.board();
    Soak& s = g_soak;
    s.board = &board;
    s.module = &sim::RemoteModuleOf(board);
    s.module->process().setRunning(true);
    ASSERT_EQ(panel.runUntil([&] { return panel.core().idleTurns() > 0; }, 1000.0), StopReason::Condition);
    for (int i = 0; i < kRegisters; ++i) {
        s.legitimate[i].insert(kMirrors[i]->value);
    }
    s.cycle = pfnNullWidgetMsgProc;
    pfnNullWidgetMsgProc = CheckedCycle;
    WidgetMessageSendPostOrder = WatchedPostOrder;
    WidgetMessageSendPreOrder = WatchedPreOrder;

    sim::TouchPanel& touch = sim::TouchOf(board);
    sim::DisplayModule& display = sim::DisplayOf(board);
    std::set<uint32_t> screensSeen;
    size_t checkpoints = 0;
    size_t lastCycles = 0;
    double nextSecond = board.nowMs() + 1000.0;
    double nextModuleChange = board.nowMs();
    size_t chosen[16] = {};
    size_t unplugs = 0;
    double nextCheckpoint = board.nowMs() + 20'000.0;
    const double end = board.nowMs() + seconds * 1000.0;
    auto run = [&](double ms) {
        const StopReason reason = panel.runForMs(ms);
        if (reason == StopReason::Halted || !board.faults().empty()) {
            s.fail("the firmware stopped");
        }
        return reason != StopReason::Halted;
    };

    while (board.nowMs() < end && s.failures.empty()) {
        // Now and then the module changes its behaviour: well, one fault for a while, or the
        // cable pulled.
        if (board.nowMs() >= nextModuleChange) {
            nextModuleChange =
                board.nowMs() + std::uniform_real_distribution<double>(300, 3300)(moduleRandom);
            if (!s.plugged) {
                sim::Uart1(board).connect(s.module);
                s.plugged = true;
                s.previousFault = ModuleFault::Late;  // whatever was under way is uncertain
            }
            const int pick = std::uniform_int_distribution<int>(0, 19)(moduleRandom);
            if (pick < 8) {
                s.module->setFault(ModuleFault::None);
                ++chosen[0];
            } else if (pick < 19) {
                const auto fault = static_cast<ModuleFault>(
                    std::uniform_int_distribution<int>(1, 8)(moduleRandom));
                s.module->setFault(fault);
                ++chosen[static_cast<int>(fault)];
            } else {
                s.module->setFault(ModuleFault::None);
                sim::Uart1(board).unplug();
                s.plugged = false;
                ++unplugs;
            }
        }
        // A touch: a button or anywhere, held for a while, then a pause.
        const Point p = random() % 5 < 3 ? kButtons[random() % std::size(kButtons)]
                                         : Point{static_cast<int>(random() % 320),
                                                 static_cast<int>(random() % 240)};
        touch.press(p.x, p.y);
        if (!run(20 + random() % 400)) {
            break;
        }
        touch.release();
        if (!run(20 + random() % 500)) {
            break;
        }
        screensSeen.insert(_CurrentFrame);

        if (board.nowMs() >= nextSecond) {
            // Cycles keep coming (each at most ~0.3 s even when every exchange times out),
            // and the display's bus logs are dropped once a second.
            if (s.cycles == lastCycles) {
                s.fail("no control cycle completed for a second");
            }
            lastCycles = s.cycles;
            display.clearLogs();
            nextSecond = board.nowMs() + 1000.0;
        }

        if (board.nowMs() >= nextCheckpoint) {
            // The module well and still, two cycles, all paints done: then the screen shows
            // the current values in full, and repainting it changes nothing.
            nextCheckpoint = board.nowMs() + 20'000.0;
            if (!s.plugged) {
                sim::Uart1(board).connect(s.module);
                s.plugged = true;
                s.previousFault = ModuleFault::Late;
            }
            s.module->setFault(ModuleFault::None);
            s.module->process().setRunning(false);
            const size_t target = s.cycles + 3;
            panel.runUntil([&] { return s.cycles >= target; }, 2000.0);
            if (panel.runUntil(Quiet, 500.0) != StopReason::Condition) {
                s.fail("the message queue does not drain");
            }
            const std::vector<uint16_t> shown = Screen(display);
            display.savePng("soak-shown.png");
            WidgetMessageQueueAdd(&g_sRoot, MSG_PAINT, 0, 0, 0, 0);
            panel.runUntil(Quiet, 500.0);
            const std::vector<uint16_t> repainted = Screen(display);
            if (repainted != shown) {
                display.savePng("soak-repainted.png");
                int left = 320, top = 240, right = -1, bottom = -1, count = 0;
                for (int y = 0; y < 240; ++y) {
                    for (int x = 0; x < 320; ++x) {
                        if (shown[y * 320 + x] != repainted[y * 320 + x]) {
                            left = std::min(left, x), right = std::max(right, x);
                            top = std::min(top, y), bottom = std::max(bottom, y);
                            ++count;
                        }
                    }
                }
                s.fail("screen " + std::to_string(_CurrentFrame) +
                       " was not a complete frame of the current values: repainting changed " +
                       std::to_string(count) + " pixels in (" + std::to_string(left) + ", " +
                       std::to_string(top) + ")-(" + std::to_string(right) + ", " +
                       std::to_string(bottom) + "); see soak-shown.png, soak-repainted.png");
            }
            ++checkpoints;
            s.module->process().setRunning(true);
        }
    }
    pfnNullWidgetMsgProc = s.cycle;

    const double wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double virtualSeconds = board.nowMs() / 1000.0;
    std::printf("soak: seed %u, %.0f virtual s in %.1f wall s (%.2f virtual hours per wall "
                "minute), %zu cycles, %zu exchanges checked (%zu outcomes, %zu good reads), "
                "%zu checkpoints, screens seen %zu, peak memory %ld kB\n",
                seed, virtualSeconds, wallSeconds, virtualSeconds / 3600.0 / (wallSeconds / 60.0),
                s.cycles, s.exchangesChecked, s.errorChecks, s.goodReads, checkpoints,
                screensSeen.size(), PeakKilobytes());
    std::printf("soak: module behaviour (times chosen, exchanges):");
    for (int f = 0; f <= static_cast<int>(ModuleFault::Noise); ++f) {
        std::printf(" %s %zu/%zu,", sim::Describe(static_cast<ModuleFault>(f)), chosen[f],
                    s.byFault[f]);
    }
    std::printf(" unplugged %zu\n", unplugs);
    for (const std::string& failure : s.failures) {
        ADD_FAILURE() << failure;
    }
    EXPECT_GE(screensSeen.size(), seconds >= 60 ? 5u : 1u) << "random touches reach every screen";
    EXPECT_GT(s.errorChecks, 0u);
    EXPECT_GT(s.goodReads, 0u);
}

}  // namespace
