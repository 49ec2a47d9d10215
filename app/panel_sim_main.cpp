// panel-sim: the panel firmware running on the simulated board, in a window, headless or from
// a script.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "debugger.hpp"
#include "replay_processes.hpp"
#include "firmware_image.hpp"
#include "image_run.hpp"
#include "options.hpp"
#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "panel_view.hpp"
#include "pin_trace.hpp"
#include "remote_module.hpp"
#include "script.hpp"
#include "serial_bridge.hpp"
#include "session.hpp"
#include "uart.hpp"
#include "web_server.hpp"
#include "window.hpp"
#include "workbench.hpp"

namespace {

// Puts a host serial device or a new pseudo-terminal on UART1's line in place of the module.
std::unique_ptr<sim::SerialBridge> ConnectSerial(sim::Board& board, const app::Options& options) {
    std::string error;
    const sim::LineFormat line = sim::RemoteModule::ProjectLine();  // the project's settings
    std::unique_ptr<sim::SerialBridge> bridge =
        options.serialPty
            ? sim::SerialBridge::OpenPseudoTerminal(board.scheduler(), line, &error)
            : sim::SerialBridge::OpenDevice(board.scheduler(), options.serialDevice, line, &error);
    if (!bridge) {
        std::fprintf(stderr, "panel-sim: %s\n", error.c_str());
        return nullptr;
    }
    sim::Uart1(board).connect(bridge.get());
    std::printf("panel-sim: UART1 on %s (%s), paced to real time\n", bridge->peerPath().c_str(),
                line.describe().c_str());
    std::fflush(stdout);
    return bridge;
}

// The pin trace (--vcd), listening from before the firmware's first instruction.
sim::trace::PinTrace* AttachTrace(sim::Board& board, const app::Options& options) {
    sim::trace::PinTraceOptions trace;
    trace.groups = options.vcdGroups;
    trace.window.start = static_cast<sim::trace::Nanoseconds>(options.vcdStartMs * 1e6);
    if (options.vcdEndMs >= 0) {
        trace.window.end = static_cast<sim::trace::Nanoseconds>(options.vcdEndMs * 1e6);
    }
    std::string why;
    sim::trace::PinTrace* attached = sim::trace::PinTrace::Attach(board, options.vcd, trace, &why);
    if (attached == nullptr) {
        std::fprintf(stderr, "panel-sim: --vcd: %s\n", why.c_str());
    }
    return attached;
}

void ReportTrace(sim::trace::PinTrace& trace, const std::string& path) {
    const sim::trace::PinTrace::Summary s = trace.finish();
    std::printf("panel-sim: pin trace %s: %llu changes, %.3f MB for %.3f s of virtual time",
                path.c_str(), static_cast<unsigned long long>(s.changes),
                static_cast<double>(s.bytes) / 1e6, s.virtualSeconds);
    if (s.virtualSeconds > 0) {
        std::printf(" (%.3f MB per virtual second)",
                    static_cast<double>(s.bytes) / 1e6 / s.virtualSeconds);
    }
    std::printf("\n");
    if (s.late != 0) {
        std::printf(
            "panel-sim: pin trace: %llu serial bit changes came late and were moved later\n",
            static_cast<unsigned long long>(s.late));
    }
}

int RunHeadless(app::Session& session, const app::Options& options) {
    sim::PanelHarness& panel = session.panel;
    std::printf("panel-sim: running the panel firmware for %.1f s of virtual time\n",
                options.seconds);
    for (double until = 1.0;; until += 1.0) {
        const double stop = std::min(until, options.seconds);
        if (panel.runUntilMs(stop * 1000.0) == sim::StopReason::Halted) {
            std::printf("panel-sim: the firmware stopped: %s\n", panel.core().haltReason().c_str());
            return 1;
        }
        std::printf("%s\n", app::StatusLine(session).c_str());
        std::fflush(stdout);
        if (stop >= options.seconds) {
            return 0;
        }
    }
}

// Reads and checks a whole script before the firmware starts, so that a mistake on any line
// stops the run before anything is written.
std::optional<app::ScriptSource> LoadScript(const std::string& path, const app::Options& options) {
    std::string why;
    std::optional<app::ScriptSource> source = app::ScriptSource::Open(path, &why);
    if (!source) {
        std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
        return std::nullopt;
    }
    const std::unique_ptr<std::istream> text = source->open();
    const bool realPeer = options.serialPty || !options.serialDevice.empty();
    if (!text || !app::CheckScript(*text, path, app::CommandContext{true, !realPeer}, why)) {
        std::fprintf(stderr, "%s\n", text ? why.c_str() : (path + ": cannot be read").c_str());
        return std::nullopt;
    }
    return source;
}

// The image's view of the panel through its symbols, or the host firmware's globals; null (the
// reason printed) when the image cannot be loaded.
std::unique_ptr<app::PanelView> AttachFirmware(sim::PanelHarness& panel,
                                               std::optional<sim::arm::FirmwareImage> image,
                                               const app::Options& options,
                                               sim::arm::ArmCore*& core) {
    if (!image) {
        return app::HostView();
    }
    core = app::AttachImage(panel, std::move(*image), options.image);
    if (core == nullptr) {
        return nullptr;
    }
    std::string why;
    std::shared_ptr<const sim::arm::FirmwareImage> symbols =
        app::SymbolsFor(*core, options.image, &why);
    if (!symbols) {
        std::fprintf(stderr, "panel-sim: %s: the screen and Dev_1_ERROR show as ?\n", why.c_str());
    }
    return app::ImageView(*core, std::move(symbols), why);
}

// What the run was started for; its exit code.
int RunMode(app::Session& session, const app::Options& options, const sim::SerialBridge* bridge,
            app::WebServer* web, const std::optional<app::ScriptSource>& script) {
    switch (options.mode) {
        case app::Options::Mode::Window: {
            const int result =
                app::RunWindow(session, options, bridge ? bridge->peerPath() : std::string());
            return result < 0 ? RunHeadless(session, options) : result;
        }
        case app::Options::Mode::Headless:
            return RunHeadless(session, options);
        case app::Options::Mode::Script:
            return app::RunScript(session, *script, options.script);
        case app::Options::Mode::Web:
            return app::RunWeb(*web, session, options);
    }
    return 1;
}

// What the firmware did that the board does not model; a script run fails on a register access
// no model implements (characters lost on the line are a session's own doing, for example with
// the module unplugged, and are only reported). Returns the run's exit code after it.
int ReportWarnings(sim::Board& board, const app::Options& options, int result) {
    const std::vector<sim::BoardWarning> warnings = board.warnings().take();
    for (const sim::BoardWarning& warning : warnings) {
        std::fprintf(stderr, "panel-sim: %s\n", sim::Describe(warning).c_str());
    }
    const bool registerWarning = std::any_of(
        warnings.begin(), warnings.end(),
        [](const sim::BoardWarning& w) { return w.kind != sim::WarningKind::CharacterDropped; });
    return registerWarning && options.mode == app::Options::Mode::Script && result == 0 ? 1
                                                                                        : result;
}

// --screenshot at the end of any run; false (the reason printed) when it cannot be saved.
bool SaveScreenshot(sim::Board& board, const std::string& file) {
    std::string error;
    if (!sim::DisplayOf(board).savePng(file, &error)) {
        std::fprintf(stderr, "panel-sim: cannot save %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    std::printf("panel-sim: screen saved to %s\n", file.c_str());
    return true;
}

// Everything that can be refused is, before the firmware starts: the script, the image, the
// web page's port, the debugger's. False (the reason printed) when one is.
bool Prepare(const app::Options& options, std::optional<app::ScriptSource>& script,
             std::optional<sim::arm::FirmwareImage>& image, app::WebServerPtr& web,
             std::unique_ptr<app::Debugger>& debugger) {
    if (options.mode == app::Options::Mode::Script) {
        script = LoadScript(options.script, options);
        if (!script) {
            return false;
        }
    }
    std::string why;
    if (!options.image.empty()) {
        image = sim::arm::FirmwareImage::Read(options.image, &why);
        if (!image) {
            std::fprintf(stderr, "panel-sim: --image: %s\n", why.c_str());
            return false;
        }
    }
    if (options.mode == app::Options::Mode::Web) {
        web = app::ListenWeb(options, &why);
        if (!web) {
            std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            return false;
        }
    }
    if (options.gdbPort >= 0) {
        debugger = app::Debugger::Listen(options.gdbPort, &why);
        if (!debugger) {
            std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            return false;
        }
    }
    return true;
}

// Why this run cannot be run backwards, or empty: a copy of the run replays it, so every input
// must come from inside the simulator and nothing may be written out as the run goes.
std::string WhyNoReverse(const app::Options& options) {
    const std::string needs = "reverse execution needs a run whose inputs all come from the simulator";
    if (options.serialPty || !options.serialDevice.empty()) {
        return needs + " (this one has a serial peer)";
    }
    if (options.mode == app::Options::Mode::Window || options.mode == app::Options::Mode::Web) {
        return needs + " (this one has a window or a web page: use --headless or a script)";
    }
    if (!options.vcd.empty() || !options.record.empty() ||
        (!options.modbusLog.empty() && options.modbusLog != "-")) {
        return "reverse execution needs a run that writes no trace or log as it goes "
               "(--vcd, --record, --modbus-log FILE)";
    }
    return {};
}

int RunPanelSim(int argc, char** argv) {
    int exitCode = 0;
    const std::optional<app::Options> parsed = app::ParseOptions(argc, argv, exitCode);
    if (!parsed) {
        return exitCode;
    }
    const app::Options& options = *parsed;
    std::optional<app::ScriptSource> script;
    std::optional<sim::arm::FirmwareImage> image;
    app::WebServerPtr web;
    std::unique_ptr<app::Debugger> debugger;
    if (!Prepare(options, script, image, web, debugger)) {
        return 2;
    }
    sim::PanelHarness panel(options.board, image ? sim::PanelHarness::Firmware::None
                                                 : sim::PanelHarness::Firmware::Host);
    sim::arm::ArmCore* core = nullptr;
    const std::unique_ptr<app::PanelView> view =
        AttachFirmware(panel, std::move(image), options, core);
    if (!view) {
        return 1;
    }
    std::unique_ptr<sim::SerialBridge> bridge;
    if (options.serialPty || !options.serialDevice.empty()) {
        bridge = ConnectSerial(panel.board(), options);
        if (!bridge) {
            return 1;
        }
    }
    app::Workbench bench(panel, options);
    if (!bench.start()) {
        return 2;
    }
    sim::trace::PinTrace* trace = nullptr;
    if (!options.vcd.empty()) {
        trace = AttachTrace(panel.board(), options);
        if (trace == nullptr) {
            return 2;
        }
    }
    app::Session session{panel, bench, *view, core, debugger.get()};
    if (debugger) {
        debugger->refuseReverse(WhyNoReverse(options));
        debugger->attach(session);
        if (options.gdbWait) {
            debugger->holdAtReset();
        }
    }
    int result = RunMode(session, options, bridge.get(), web.get(), script);
    if (debugger) {
        debugger->finished(result);
    }
    bench.finish();
    if (trace != nullptr) {
        ReportTrace(*trace, options.vcd);
    }
    result = ReportWarnings(panel.board(), options, result);
    if (!options.screenshot.empty() && !SaveScreenshot(panel.board(), options.screenshot)) {
        return 1;
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int code = RunPanelSim(argc, argv);
    // A run the debugger ran backwards ends in a copy of the process: the one started ends with it.
    app::ReplayProcesses::ReportExit(code);
    return code;
}
