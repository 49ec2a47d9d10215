// panel-sim: the panel firmware running on the simulated board, in a window, headless or from
// a script.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "debugger.hpp"
#include "firmware_image.hpp"
#include "image_run.hpp"
#include "panel_view.hpp"
#include "session.hpp"
#include "options.hpp"
#include "panel_harness.hpp"
#include "panel_models.hpp"
#include "pin_trace.hpp"
#include "remote_module.hpp"
#include "script.hpp"
#include "serial_bridge.hpp"
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
        std::printf("panel-sim: pin trace: %llu serial bit changes came late and were moved later\n",
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
            std::printf("panel-sim: the firmware stopped: %s\n",
                        panel.core().haltReason().c_str());
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
std::optional<app::ScriptSource> LoadScript(const std::string& path) {
    std::string why;
    std::optional<app::ScriptSource> source = app::ScriptSource::Open(path, &why);
    if (!source) {
        std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
        return std::nullopt;
    }
    const std::unique_ptr<std::istream> text = source->open();
    if (!text || !app::CheckScript(*text, path, why)) {
        std::fprintf(stderr, "%s\n", text ? why.c_str() : (path + ": cannot be read").c_str());
        return std::nullopt;
    }
    return source;
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const std::optional<app::Options> parsed = app::ParseOptions(argc, argv, exitCode);
    if (!parsed) {
        return exitCode;
    }
    const app::Options& options = *parsed;
    std::optional<app::ScriptSource> script;
    if (options.mode == app::Options::Mode::Script) {
        script = LoadScript(options.script);
        if (!script) {
            return 2;
        }
    }
    // A file that is not an image for this board is refused as a bad value, before anything
    // runs.
    std::optional<sim::arm::FirmwareImage> image;
    if (!options.image.empty()) {
        std::string why;
        image = sim::arm::FirmwareImage::Read(options.image, &why);
        if (!image) {
            std::fprintf(stderr, "panel-sim: --image: %s\n", why.c_str());
            return 2;
        }
    }
    // The web page's port, taken before the firmware starts or any file is written.
    app::WebServerPtr web;
    if (options.mode == app::Options::Mode::Web) {
        std::string why;
        web = app::ListenWeb(options, &why);
        if (!web) {
            std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            return 2;
        }
    }
    // The debugger's port is taken before the firmware starts, like the web page's.
    std::unique_ptr<app::Debugger> debugger;
    if (options.gdbPort >= 0) {
        std::string why;
        debugger = app::Debugger::Listen(options.gdbPort, &why);
        if (!debugger) {
            std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            return 2;
        }
    }
    sim::PanelHarness panel(options.board, image ? sim::PanelHarness::Firmware::None
                                                 : sim::PanelHarness::Firmware::Host);
    // --- The real image on the emulated core (--image), seen through its symbols. ---
    sim::arm::ArmCore* core = nullptr;
    std::unique_ptr<app::PanelView> view;
    if (image) {
        core = app::AttachImage(panel, std::move(*image), options.image);
        if (core == nullptr) {
            return 1;
        }
        std::string why;
        std::shared_ptr<const sim::arm::FirmwareImage> symbols =
            app::SymbolsFor(*core, options.image, &why);
        if (!symbols) {
            std::fprintf(stderr, "panel-sim: %s: the screen and Dev_1_ERROR show as ?\n",
                         why.c_str());
        }
        view = app::ImageView(*core, std::move(symbols), why);
    } else {
        view = app::HostView();
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
        debugger->attach(session);
        if (options.gdbWait) {
            debugger->holdAtReset();
        }
    }

    int result = 0;
    switch (options.mode) {
        case app::Options::Mode::Window:
            result = app::RunWindow(session, options, bridge ? bridge->peerPath() : std::string());
            if (result < 0) {
                result = RunHeadless(session, options);
            }
            break;
        case app::Options::Mode::Headless:
            result = RunHeadless(session, options);
            break;
        case app::Options::Mode::Script:
            result = app::RunScript(session, *script, options.script);
            break;
        case app::Options::Mode::Web:
            result = app::RunWeb(*web, session, options);
            break;
    }
    if (debugger) {
        debugger->finished(result);
    }
    bench.finish();
    if (trace != nullptr) {
        ReportTrace(*trace, options.vcd);
    }
    // What the firmware did that the board does not model; a script run fails on a register
    // access no model implements (characters lost on the line are a session's own doing, for
    // example with the module unplugged, and are only reported).
    const std::vector<sim::BoardWarning> warnings = panel.board().warnings().take();
    for (const sim::BoardWarning& warning : warnings) {
        std::fprintf(stderr, "panel-sim: %s\n", sim::Describe(warning).c_str());
    }
    const bool registerWarning =
        std::any_of(warnings.begin(), warnings.end(), [](const sim::BoardWarning& w) {
            return w.kind != sim::WarningKind::CharacterDropped;
        });
    if (registerWarning && options.mode == app::Options::Mode::Script && result == 0) {
        result = 1;
    }
    if (!options.screenshot.empty()) {
        std::string error;
        if (!sim::DisplayOf(panel.board()).savePng(options.screenshot, &error)) {
            std::fprintf(stderr, "panel-sim: cannot save %s: %s\n", options.screenshot.c_str(),
                         error.c_str());
            return 1;
        }
        std::printf("panel-sim: screen saved to %s\n", options.screenshot.c_str());
    }
    return result;
}
