#include "image_run.hpp"

#include <cstdio>
#include <fstream>
#include <map>
#include <istream>

#include "cli.hpp"
#include "panel_models.hpp"
#include "remote_module.hpp"
#include "uart.hpp"

namespace app {

namespace {

// The firmware routine whose calls are the screen changes.
constexpr const char* kScreenChange = "hmi_GotoFrame";
// Also measured, for the control cycle's cost: the cycle, its exchange on the line, and the
// labels' paint.
constexpr const char* kAlsoProbed[] = {"default_timer_proc", "polling_Dev_1", "CanvasMsgProc"};

double Ms(sim::Picoseconds ps) {
    return static_cast<double>(ps) / static_cast<double>(sim::kPsPerMs);
}

void PrintHex(std::ostream& out, const char* label, const std::vector<uint8_t>& bytes) {
    out << label;
    char text[4];
    for (const uint8_t byte : bytes) {
        std::snprintf(text, sizeof(text), " %02X", byte);
        out << text;
    }
    out << '\n';
}

}  // namespace

sim::arm::ArmCore* AttachImage(sim::PanelHarness& panel, sim::arm::FirmwareImage image,
                               const std::string& path) {
    std::string error;
    std::unique_ptr<sim::arm::ArmCore> core =
        sim::arm::ArmCore::Load(panel.board(), std::move(image), &error);
    if (!core) {
        std::fprintf(stderr, "panel-sim: %s\n", error.c_str());
        return nullptr;
    }
    if (!core->probe(kScreenChange)) {
        std::fprintf(stderr, "panel-sim: %s has no symbol %s; screen changes are not measured\n",
                     path.c_str(), kScreenChange);
    }
    for (const char* function : kAlsoProbed) {
        (void)core->probe(function);  // without the symbol, `calls` reports none
    }
    sim::arm::ArmCore* attached = core.get();
    panel.fitCore(std::move(core));
    return attached;
}

bool IsScenarioCommand(const std::string& command) {
    return command == "modbus-log" || command == "module-fault" || command == "module-process" ||
           command == "screen-changes" || command == "profile" || command == "calls";
}

bool ScenarioCommand(Session& session, const std::string& command, std::istream& words,
                     std::string& error) {
    sim::Board& board = session.panel.board();
    if (command == "modbus-log") {
        std::string file;
        if (!(words >> file)) {
            error = "modbus-log needs a file name";
            return true;
        }
        std::ofstream out(file);
        for (const auto& exchange : sim::RemoteModuleOf(board).exchanges()) {
            PrintHex(out, "request", exchange.request);
            PrintHex(out, "answer", exchange.answer);
        }
        if (!out) {
            error = "cannot write " + file;
        }
        return true;
    }
    if (command == "module-fault") {
        static const std::pair<const char*, sim::ModuleFault> kKinds[] = {
            {"none", sim::ModuleFault::None},
            {"silence", sim::ModuleFault::Silence},
            {"bad-crc", sim::ModuleFault::BadCrc},
            {"wrong-address", sim::ModuleFault::WrongAddress},
            {"wrong-function", sim::ModuleFault::WrongFunction},
            {"exception", sim::ModuleFault::Exception},
            {"truncated", sim::ModuleFault::Truncated},
            {"late", sim::ModuleFault::Late},
            {"noise", sim::ModuleFault::Noise},
        };
        std::string kind;
        int answers = -1;
        words >> kind;
        if (!(words >> answers)) {
            answers = -1;
        }
        for (const auto& [name, fault] : kKinds) {
            if (kind == name) {
                sim::RemoteModuleOf(board).setFault(fault, answers);
                return true;
            }
        }
        error = "module-fault needs a kind: none silence bad-crc wrong-address wrong-function "
                "exception truncated late noise";
        return true;
    }
    if (command == "module-process") {
        std::string state;
        if (!(words >> state) || (state != "run" && state != "stop")) {
            error = "module-process needs run or stop";
            return true;
        }
        sim::RemoteModuleOf(board).process().setRunning(state == "run");
        return true;
    }
    if (command == "profile") {
        sim::arm::ArmCore* core = session.image;
        if (core == nullptr) {
            std::printf("profile: measured on the image only (--image)\n");
            return true;
        }
        int64_t shown = 15;
        if (std::string count; words >> count) {
            try {
                shown = cli::Whole(count, 1, 10000, "N");  // checked with the script already
            } catch (const cli::UsageError& bad) {
                error = bad.message;
                return true;
            }
        }
        const auto functions = core->takeProfile();
        sim::arm::FunctionCost total;
        for (const auto& f : functions) {
            total.instructions += f.instructions;
            total.cycles += f.cycles;
            total.probedInstructions += f.probedInstructions;
            total.probedCycles += f.probedCycles;
        }
        const auto row = [](const sim::arm::FunctionCost& f, const char* name) {
            std::printf("  %8llu %11llu %11llu %11llu %11llu  %s\n",
                        static_cast<unsigned long long>(f.probedCalls),
                        static_cast<unsigned long long>(f.probedInstructions),
                        static_cast<unsigned long long>(f.probedCycles),
                        static_cast<unsigned long long>(f.instructions),
                        static_cast<unsigned long long>(f.cycles), name);
        };
        std::printf("profile since the last one (estimated cycles of the instructions, without "
                    "the bus models' access time):\n  %32s %23s\n  %8s %11s %11s %11s %11s\n",
                    "in screen changes", "in all", "calls", "instr.", "cycles", "instr.",
                    "cycles");
        row(total, "(total)");
        for (const auto& f : functions) {
            if (shown-- == 0) {
                break;
            }
            row(f, f.function.c_str());
        }
        return true;
    }
    if (command == "calls") {
        const sim::arm::ArmCore* core = session.image;
        std::string function;
        words >> function;
        if (core == nullptr) {
            std::printf("calls: measured on the image only (--image)\n");
            return true;
        }
        // Calls that started after the previous report of the same function.
        static std::map<std::string, sim::Picoseconds> reported;
        sim::Picoseconds& since = reported[function];
        uint64_t count = 0;
        uint64_t instructions = 0;
        uint64_t cycles = 0;
        sim::Picoseconds time = 0;
        for (const sim::arm::CallRecord& call : core->calls()) {
            if (*call.function == function && call.startTime >= since) {
                ++count;
                instructions += call.instructions;
                cycles += call.cycles;
                time += call.virtualTime;
                since = call.startTime + 1;
            }
        }
        std::printf("%s: %llu calls, %llu instructions, ~%llu cycles, %.3f ms virtual\n",
                    function.c_str(), static_cast<unsigned long long>(count),
                    static_cast<unsigned long long>(instructions),
                    static_cast<unsigned long long>(cycles), Ms(time));
        return true;
    }
    if (command == "screen-changes") {
        const sim::arm::ArmCore* core = session.image;
        if (core == nullptr) {
            std::printf("screen-changes: measured on the image only (--image)\n");
            return true;
        }
        const sim::arm::CallRecord* first = nullptr;
        for (const sim::arm::CallRecord& call : core->calls()) {
            if (*call.function != kScreenChange) {
                continue;
            }
            first = first != nullptr ? first : &call;
            std::printf("%s(%u) at %9.3f ms: %llu instructions, ~%llu cycles, %.3f ms virtual\n",
                        kScreenChange, call.argument, Ms(call.startTime),
                        static_cast<unsigned long long>(call.instructions),
                        static_cast<unsigned long long>(call.cycles), Ms(call.virtualTime));
        }
        if (first != nullptr) {
            std::printf(
                "start-up to the first screen painted: %llu instructions, ~%llu cycles, %.3f ms "
                "virtual\n",
                static_cast<unsigned long long>(first->startInstructions + first->instructions),
                static_cast<unsigned long long>(first->startCycles + first->cycles),
                Ms(first->startTime + first->virtualTime));
        }
        return true;
    }
    return false;
}

}  // namespace app
