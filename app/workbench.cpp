#include "workbench.hpp"

#include "panel_models.hpp"
#include "recorder.hpp"
#include "registers.hpp"
#include "serial_input.hpp"
#include "session_hashes.hpp"
#include "uart.hpp"

namespace app {

namespace {

std::string BoardOptions(const Options& options) {
    std::string text;
    if (options.board.panel.controller == sim::DisplayController::HX8347G) {
        text += " --controller G";
    }
    if (!options.board.panel.touchCalibrationStored) {
        text += " --no-calibration";
    }
    return text;
}

}  // namespace

Workbench::Workbench(sim::PanelHarness& panel, const Options& options)
    : panel_(panel), options_(options), fault_(&FaultKinds()[0]) {}

Workbench::~Workbench() {
    hashes_.reset();
    monitor_.reset();
    if (tap_) {
        sim::Uart1(panel_.board()).connect(tap_->peer());
    }
    if (log_ != nullptr && log_ != stdout) {
        std::fclose(log_);
    }
}

bool Workbench::start() {
    sim::Board& board = panel_.board();
    sim::Uart& uart = sim::Uart1(board);
    sim::SerialPeer* peer = uart.peer();
    if (peer != nullptr && peer == uart.pluggedPeer()) {
        module_ = &sim::RemoteModuleOf(board);
    }
    tap_ = std::make_unique<LineTap>(board.scheduler());
    uart.connect(nullptr);
    tap_->setPeer(peer);
    uart.connect(tap_.get());
    monitor_ = std::make_unique<ModbusMonitor>(board.scheduler(), *tap_);
    // A script's `modbus-log` writes every line so far; a script ends, so they may all be kept.
    monitor_->keepAll(options_.mode == Options::Mode::Script);
    serialInput_ = std::make_unique<SerialInput>(board, *tap_);

    if (!options_.modbusLog.empty()) {
        log_ = options_.modbusLog == "-" ? stdout : std::fopen(options_.modbusLog.c_str(), "w");
        if (log_ == nullptr) {
            std::fprintf(stderr, "panel-sim: cannot write %s\n", options_.modbusLog.c_str());
            return false;
        }
        monitor_->setOutput(log_);
    }
    if (!options_.record.empty() && !startRecording()) {
        return false;
    }
    if (options_.hashes) {
        hashes_ = std::make_unique<SessionHashes>(sim::DisplayOf(board), *tap_);
    }
    return true;
}

bool Workbench::startRecording() {
    recorder_ = std::make_unique<Recorder>();
    std::string why;
    if (!recorder_->open(options_.record, BoardOptions(options_), &why)) {
        std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
        return false;
    }
    if (module_ == nullptr) {
        // What a host device sent is in the recording; the replay must not add answers of the
        // module model to it.
        record("fault unplugged");
        tap_->listen([this](Direction direction, uint8_t byte, sim::Picoseconds at) {
            if (direction == Direction::ToPanel) {
                recorder_->peerByte(
                    at, byte,
                    SerialInput::CharacterStep(panel_.board().scheduler(), tap_->lineFormat()));
            }
        });
    }
    return true;
}

void Workbench::finish() {
    const sim::Picoseconds now = panel_.board().scheduler().nowPs();
    if (recorder_) {
        recorder_->close(now);
    }
    if (hashes_) {
        hashes_->print(now);
    }
}

void Workbench::record(const std::string& line) {
    if (recorder_) {
        recorder_->command(panel_.board().scheduler().nowPs(), line);
    }
}

bool Workbench::setFault(const FaultKind& kind, int64_t answers, std::string* why) {
    if (module_ == nullptr && kind.onModule()) {
        *why = std::string("fault ") + kind.name +
               " acts on the module model, which is not on the line (--serial)";
        return false;
    }
    if (module_ != nullptr) {
        module_->setFault(kind.fault, static_cast<int>(answers));
    }
    if (kind.unplugged) {
        tap_->unplug();
    } else {
        tap_->plugBack();
    }
    fault_ = &kind;
    return true;
}

const FaultKind& Workbench::fault() const {
    if (fault_->onModule() && module_ != nullptr && module_->fault() == sim::ModuleFault::None) {
        return FaultKinds()[0];  // its answers are spent
    }
    return *fault_;
}

bool Workbench::setRegister(int index, uint16_t value, std::string* why) {
    if (module_ == nullptr) {
        *why = "register: no module model on the line (a real peer is, --serial)";
        return false;
    }
    if (index < 0 || index >= remote_io::kRegisterCount) {
        *why = "no module register " + std::to_string(index + remote_io::kFirstRegister);
        return false;
    }
    module_->process().set(index, value);
    return true;
}

bool Workbench::setProcessRunning(bool running, std::string* why) {
    if (module_ == nullptr) {
        *why = "module-process: no module model on the line (a real peer is, --serial)";
        return false;
    }
    module_->process().setRunning(running);
    return true;
}

void Workbench::serialIn(double ms, std::vector<uint8_t> bytes) {
    serialInput_->send(ms, std::move(bytes));
}

std::vector<uint16_t> Workbench::registers() const {
    if (module_ == nullptr) {
        return {};
    }
    const auto& registers = module_->process().registers();
    return {registers.begin(), registers.end()};
}

std::string Workbench::titleSuffix() const {
    const FaultKind& kind = fault();
    return kind.fault == sim::ModuleFault::None && !kind.unplugged
               ? std::string()
               : std::string("  fault: ") + kind.label;
}

std::string Workbench::statusSuffix() const {
    return std::string("  fault=") + fault().name;
}

}  // namespace app
