#include "workbench.hpp"

#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <istream>

#include "cli.hpp"
#include "finger.hpp"
#include "panel_models.hpp"
#include "recorder.hpp"
#include "uart.hpp"

namespace app {

namespace {


uint64_t Fnv(uint64_t hash, const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        hash = (hash ^ data[i]) * 0x100000001b3ull;
    }
    return hash;
}

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

const std::vector<FaultKind>& FaultKinds() {
    static const std::vector<FaultKind> kinds = {
        {"none", "none", '0', false, sim::ModuleFault::None},
        {"silence", "silent module", '1', false, sim::ModuleFault::Silence},
        {"bad-crc", "bad CRC", '2', false, sim::ModuleFault::BadCrc},
        {"exception", "exception answers", '3', false, sim::ModuleFault::Exception},
        {"late", "late answers", '4', false, sim::ModuleFault::Late},
        {"unplugged", "unplugged", '5', true, sim::ModuleFault::None},
        {"wrong-address", "wrong slave address", '6', false, sim::ModuleFault::WrongAddress},
        {"wrong-function", "wrong function", '7', false, sim::ModuleFault::WrongFunction},
        {"truncated", "truncated answers", '8', false, sim::ModuleFault::Truncated},
        {"noise", "line noise", '9', false, sim::ModuleFault::Noise},
    };
    return kinds;
}

Workbench::Workbench(sim::PanelHarness& panel, const Options& options)
    : panel_(panel), options_(options), fault_(&FaultKinds()[0]) {}

Workbench::~Workbench() {
    if (options_.hashes) {
        sim::DisplayOf(panel_.board()).setWordTap(nullptr);
    }
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

    if (!options_.modbusLog.empty()) {
        log_ = options_.modbusLog == "-" ? stdout : std::fopen(options_.modbusLog.c_str(), "w");
        if (log_ == nullptr) {
            std::fprintf(stderr, "panel-sim: cannot write %s\n", options_.modbusLog.c_str());
            return false;
        }
        monitor_->setOutput(log_);
    }
    if (!options_.record.empty()) {
        recorder_ = std::make_unique<Recorder>();
        std::string why;
        if (!recorder_->open(options_.record, BoardOptions(options_), &why)) {
            std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            return false;
        }
        if (module_ == nullptr) {
            // What a host device sent is in the recording; the replay must not add answers of
            // the module model to it.
            recorder_->command(panel_.board().scheduler().nowPs(), "fault unplugged");
            tap_->listen([this](Direction direction, uint8_t byte, sim::Picoseconds at) {
                if (direction == Direction::ToPanel) {
                    recorder_->peerByte(
                        at, byte,
                        CharacterStep(panel_.board().scheduler(), tap_->lineFormat()));
                }
            });
        }
    }
    if (options_.hashes) {
        tap_->listen([this](Direction direction, uint8_t byte, sim::Picoseconds at) {
            hashLine(direction, byte, at);
        });
        sim::DisplayOf(panel_.board()).setWordTap(
            [this](const sim::DisplayModule::Latched& latched) { hashWord(latched); });
    }
    return true;
}

void Workbench::finish() {
    const sim::Picoseconds now = panel_.board().scheduler().nowPs();
    if (recorder_) {
        recorder_->close(now);
    }
    if (options_.hashes) {
        const std::vector<uint8_t> rgb = sim::DisplayOf(panel_.board()).renderRgb();
        std::printf("panel-sim: at %s ms: %" PRIu64 " display words, hash %016" PRIx64
                    ", screen now %016" PRIx64 "; %" PRIu64 " line characters, hash %016" PRIx64
                    "\n",
                    Recorder::Milliseconds(now).c_str(), displayWords_, screenHash_,
                    Fnv(0xcbf29ce484222325ull, rgb.data(), rgb.size()), lineBytes_, lineHash_);
        std::fflush(stdout);
    }
}

void Workbench::hashLine(Direction direction, uint8_t byte, sim::Picoseconds at) {
    uint8_t record[10] = {static_cast<uint8_t>(direction), byte};
    for (int i = 0; i < 8; ++i) {
        record[2 + i] = static_cast<uint8_t>(at >> (8 * i));
    }
    lineHash_ = Fnv(lineHash_, record, sizeof(record));
    ++lineBytes_;
}

void Workbench::hashWord(const sim::DisplayModule::Latched& latched) {
    // In order, without their times: the virtual time at which the display model sees a word
    // can shift by a few cycles with where the harness stopped the firmware (seen in window
    // sessions), while the words themselves and the line's characters with their times do not.
    uint8_t record[8] = {static_cast<uint8_t>(latched.word), static_cast<uint8_t>(latched.word >> 8),
                         static_cast<uint8_t>(latched.data), latched.index};
    for (int i = 0; i < 4; ++i) {
        record[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(latched.cell) >> (8 * i));
    }
    screenHash_ = Fnv(screenHash_, record, sizeof(record));
    ++displayWords_;
}

sim::Picoseconds Workbench::CharacterStep(const sim::Scheduler& scheduler,
                                          const sim::LineFormat& format) {
    // Senders on the line space their characters by whole cycles of the board's clock.
    const uint64_t psPerCycle = 1'000'000'000'000ull / scheduler.clockHz();
    return scheduler.cyclesFor(format.characterTime()) * psPerCycle;
}

void Workbench::deliverAt(sim::Picoseconds at, std::shared_ptr<const std::vector<uint8_t>> bytes,
                          size_t index) {
    // Cycles count at the clock of the moment; if the firmware speeds the clock up before the
    // event, it comes early and is put off again to the right time. Each character, once
    // delivered, sends the next one a character time later.
    sim::Scheduler& scheduler = panel_.board().scheduler();
    scheduler.at(scheduler.cycleAtOrAfter(at), [this, at, bytes, index] {
        sim::Scheduler& now = panel_.board().scheduler();
        if (now.nowPs() < at) {
            deliverAt(at, bytes, index);
            return;
        }
        tap_->injectToPanel((*bytes)[index]);
        if (index + 1 < bytes->size()) {
            deliverAt(at + CharacterStep(now, tap_->lineFormat()), bytes, index + 1);
        }
    });
}

void Workbench::watch(Finger& finger) {
    finger.onApplied([this](bool pressed, int x, int y) {
        if (!recorder_) {
            return;
        }
        const sim::Picoseconds now = panel_.board().scheduler().nowPs();
        recorder_->command(now, pressed ? "touch " + std::to_string(x) + " " + std::to_string(y)
                                        : std::string("release"));
    });
}

bool Workbench::setFault(const std::string& name, std::string* why) {
    const FaultKind* kind = nullptr;
    for (const FaultKind& candidate : FaultKinds()) {
        if (name == candidate.name) {
            kind = &candidate;
        }
    }
    if (kind == nullptr) {
        if (why != nullptr) {
            *why = "no fault '" + name + "' (none, silence, bad-crc, exception, late, unplugged, "
                   "wrong-address, wrong-function, truncated, noise)";
        }
        return false;
    }
    if (module_ == nullptr && !kind->unplugged && kind->fault != sim::ModuleFault::None) {
        if (why != nullptr) {
            *why = "fault '" + name + "' needs the module model on the line (not --serial)";
        }
        return false;
    }
    if (module_ != nullptr) {
        module_->setFault(kind->fault);
    }
    if (kind->unplugged) {
        tap_->unplug();
    } else {
        tap_->plugBack();
    }
    fault_ = kind;
    if (recorder_) {
        recorder_->command(panel_.board().scheduler().nowPs(), std::string("fault ") + name);
    }
    return true;
}

bool Workbench::setRegister(int index, uint16_t value, std::string* why) {
    if (module_ == nullptr) {
        if (why != nullptr) {
            *why = "no module model on the line (--serial)";
        }
        return false;
    }
    if (index < 0 || index >= remote_io::kRegisterCount) {
        if (why != nullptr) {
            *why = "no module register " + std::to_string(index + remote_io::kFirstRegister);
        }
        return false;
    }
    module_->process().set(index, value);
    if (recorder_) {
        recorder_->command(panel_.board().scheduler().nowPs(),
                           "register " + std::to_string(index + remote_io::kFirstRegister) + " " +
                               std::to_string(value));
    }
    return true;
}

std::vector<uint16_t> Workbench::registers() const {
    if (module_ == nullptr) {
        return {};
    }
    const auto& registers = module_->process().registers();
    return {registers.begin(), registers.end()};
}

bool Workbench::key(int symbol) {
    for (const FaultKind& kind : FaultKinds()) {
        if (symbol == kind.key) {
            std::string why;
            if (!setFault(kind.name, &why)) {
                std::fprintf(stderr, "panel-sim: %s\n", why.c_str());
            }
            return true;
        }
    }
    return false;
}

std::string Workbench::titleSuffix() const {
    return fault_->fault == sim::ModuleFault::None && !fault_->unplugged
               ? std::string()
               : std::string("  fault: ") + fault_->label;
}

std::string Workbench::statusSuffix() const {
    return std::string("  fault=") + fault_->name;
}

namespace {

// A workbench script command, read and checked; a mistake throws cli::UsageError.
struct BenchCommand {
    std::string command;
    std::string fault;
    int index = 0;
    uint16_t value = 0;
    double ms = 0;
    std::vector<uint8_t> bytes;
};

BenchCommand ParseBenchCommand(const std::vector<std::string>& words) {
    BenchCommand c;
    c.command = words.at(0);
    const auto need = [&words, &c](size_t count, const char* what) {
        if (words.size() < count) {
            throw cli::UsageError{c.command + " needs " + what};
        }
    };
    const auto noMoreAfter = [&words, &c](size_t count) {
        if (words.size() > count) {
            throw cli::UsageError{"unexpected " + cli::Quote(words[count]) + " after " +
                                  c.command};
        }
    };
    if (c.command == "fault") {
        need(2, "a kind (none, silence, bad-crc, exception, late, unplugged, ...)");
        noMoreAfter(2);
        c.fault = words[1];
        bool known = false;
        for (const FaultKind& kind : FaultKinds()) {
            known = known || c.fault == kind.name;
        }
        if (!known) {
            throw cli::UsageError{"no fault " + cli::Quote(c.fault) +
                                  " (none, silence, bad-crc, exception, late, unplugged, "
                                  "wrong-address, wrong-function, truncated, noise)"};
        }
    } else if (c.command == "register") {
        const std::string range(remote_io::AddressRange());
        need(3, ("an address (" + range + ") or name, and a value").c_str());
        noMoreAfter(3);
        c.index = -1;
        for (int i = 0; i < remote_io::kRegisterCount; ++i) {
            if (words[1] == remote_io::NameOf(i) ||
                words[1] == std::to_string(i + remote_io::kFirstRegister)) {
                c.index = i;
            }
        }
        if (c.index < 0) {
            throw cli::UsageError{"no module register " + cli::Quote(words[1]) + " (" + range +
                                  ", or a name such as " + remote_io::NameOf(0) + ")"};
        }
        c.value = static_cast<uint16_t>(cli::Whole(words[2], 0, 0xFFFF, "the value"));
    } else if (c.command == "serial-in") {
        // serial-in MS HH HH ...: characters from the far side, the first MS from now, then
        // back to back at the line's character time.
        need(3, "a delay in ms and hex bytes");
        c.ms = cli::Real(words[1], 0, 1e8, "the delay");
        for (size_t i = 2; i < words.size(); ++i) {
            const std::string& hex = words[i];
            char* end = nullptr;
            const unsigned long value = std::strtoul(hex.c_str(), &end, 16);
            if (hex.empty() || hex.size() > 2 || *end != '\0' || !std::isxdigit(
                    static_cast<unsigned char>(hex[0]))) {
                throw cli::UsageError{"serial-in: " + cli::Quote(hex) + " is not a hex byte"};
            }
            c.bytes.push_back(static_cast<uint8_t>(value));
        }
    } else {
        throw cli::UsageError{"unknown command " + cli::Quote(c.command)};
    }
    return c;
}

}  // namespace

bool Workbench::IsCommand(const std::string& command) {
    return command == "fault" || command == "register" || command == "serial-in";
}

std::string Workbench::CheckCommand(const std::vector<std::string>& words) {
    try {
        ParseBenchCommand(words);
    } catch (const cli::UsageError& e) {
        return e.message;
    }
    return {};
}

bool Workbench::runCommand(const std::vector<std::string>& words, std::string& why) {
    BenchCommand c;
    try {
        c = ParseBenchCommand(words);
    } catch (const cli::UsageError& e) {
        why = e.message;
        return false;
    }
    if (c.command == "fault") {
        return setFault(c.fault, &why);
    }
    if (c.command == "register") {
        return setRegister(c.index, c.value, &why);
    }
    sim::Scheduler& scheduler = panel_.board().scheduler();
    const sim::Picoseconds first =
        scheduler.nowPs() +
        static_cast<sim::Picoseconds>(std::llround(c.ms * static_cast<double>(sim::kPsPerMs)));
    deliverAt(first, std::make_shared<const std::vector<uint8_t>>(std::move(c.bytes)), 0);
    return true;
}

}  // namespace app
