#include "pin_trace.hpp"

#include <algorithm>
#include <array>
#include <sstream>

#include "panel_models.hpp"
#include "timer_model.hpp"
#include "uart.hpp"

namespace sim::trace {

namespace {

struct GroupName {
    Group group;
    const char* name;
};
constexpr std::array<GroupName, 6> kGroupNames{{{kDisplay, "display"},
                                                {kBacklight, "backlight"},
                                                {kUart, "uart"},
                                                {kSpeaker, "speaker"},
                                                {kTouch, "touch"},
                                                {kAdc, "adc"}}};

// A pin that shows its port's own drive.
struct PlainPin {
    Group group;
    char port;
    uint8_t bit;
    const char* function;
};
// From the firmware's drivers: the display bus (D15-D8 port A, D7-D0 port B, RD/WR/RS port F,
// RESET port G), the backlight, the touch plates' drive (X high and low side on port C, Y on
// port D, pin 1 the high side as this panel is wired).
constexpr PlainPin kPlainPins[] = {
    {kDisplay, 'B', 0, "DB0"},      {kDisplay, 'B', 1, "DB1"},   {kDisplay, 'B', 2, "DB2"},
    {kDisplay, 'B', 3, "DB3"},      {kDisplay, 'B', 4, "DB4"},   {kDisplay, 'B', 5, "DB5"},
    {kDisplay, 'B', 6, "DB6"},      {kDisplay, 'B', 7, "DB7"},   {kDisplay, 'A', 0, "DB8"},
    {kDisplay, 'A', 1, "DB9"},      {kDisplay, 'A', 2, "DB10"},  {kDisplay, 'A', 3, "DB11"},
    {kDisplay, 'A', 4, "DB12"},     {kDisplay, 'A', 5, "DB13"},  {kDisplay, 'A', 6, "DB14"},
    {kDisplay, 'A', 7, "DB15"},     {kDisplay, 'F', 0, "RD"},    {kDisplay, 'F', 1, "WR"},
    {kDisplay, 'F', 2, "RS"},       {kDisplay, 'G', 0, "RESET"}, {kBacklight, 'C', 6, "BACKLIGHT"},
    {kTouch, 'C', 4, "XP"},         {kTouch, 'C', 5, "XN"},      {kTouch, 'D', 1, "YP"},
    {kTouch, 'D', 0, "YN"},
};
constexpr uint8_t kRxBit = 2;       // port D
constexpr uint8_t kTxBit = 3;       // port D
constexpr uint8_t kSpeakerBit = 7;  // port C

const char* ScopeOf(Group group) {
    for (const GroupName& g : kGroupNames) {
        if (g.group == group) {
            return g.name;
        }
    }
    return "panel";
}

std::string PinName(char port, uint8_t bit, const char* function) {
    return std::string("P") + port + std::to_string(bit) + "_" + function;
}

}  // namespace

std::optional<unsigned> ParseGroups(const std::string& list, std::string& why) {
    unsigned groups = 0;
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
        if (name == "all") {
            groups |= kAllGroups;
            continue;
        }
        const auto found = std::find_if(kGroupNames.begin(), kGroupNames.end(),
                                        [&name](const GroupName& g) { return name == g.name; });
        if (found == kGroupNames.end()) {
            why = "'" + name + "' is not a group (" + GroupNames() + ", all)";
            return std::nullopt;
        }
        groups |= found->group;
    }
    if (groups == 0 || list.empty() || list.back() == ',') {
        why = "names no group (" + GroupNames() + ", all)";
        return std::nullopt;
    }
    return groups;
}

std::string GroupNames() {
    std::string names;
    for (const GroupName& g : kGroupNames) {
        names += (names.empty() ? "" : ", ") + std::string(g.name);
    }
    return names;
}

PinTrace* PinTrace::Attach(Board& board, const std::string& path, const PinTraceOptions& options,
                           std::string* why) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        if (why != nullptr) {
            *why = "cannot write " + path;
        }
        return nullptr;
    }
    // Written as it goes, in large pieces.
    std::setvbuf(file, nullptr, _IOFBF, 1u << 20);
    return &board.addPart<PinTrace>(board, file, options);
}

PinTrace::PinTrace(Board& board, std::FILE* file, const PinTraceOptions& options)
    : board_(board), file_(file), options_(options), writer_(file, options.window) {
    const unsigned groups = options.groups;
    Uart& uart = Uart1(board);
    // A received character is known when its stop bit ends: its bits are dated back by a
    // character time, so the writer holds everything that long (twice, for margin).
    const LineFormat line = uart.peer() != nullptr ? uart.peer()->lineFormat() : LineFormat{};
    lag_ = std::max<Nanoseconds>(2 * line.characterTime() / 1000, 1000);

    // The wires, by group as the viewers list them.
    for (const GroupName& g : kGroupNames) {
        if ((groups & g.group) == 0) {
            continue;
        }
        for (const PlainPin& pin : kPlainPins) {
            if (pin.group != g.group) {
                continue;
            }
            GpioPort& port = board.gpio(pin.port);
            auto found = std::find_if(ports_.begin(), ports_.end(),
                                      [&pin](const auto& p) { return p->port == pin.port; });
            if (found == ports_.end()) {
                ports_.push_back(std::make_unique<PortWires>(PortWires{pin.port, {}}));
                found = ports_.end() - 1;
            }
            const char level = PortLevel(port, pin.bit);
            const int wire =
                writer_.addWire(ScopeOf(pin.group), PinName(pin.port, pin.bit, pin.function), level);
            (*found)->pins.push_back(PinWire{pin.bit, wire, level});
        }
        if (g.group == kUart) {
            // The module's side drives the receive line: idle high.
            rxWire_ = writer_.addWire("uart", PinName('D', kRxBit, "U1RX"), '1');
            const GpioPort& d = board.gpio('D');
            txPinLevel_ = (d.alternate() & (1u << kTxBit)) != 0 ? '1' : PortLevel(d, kTxBit);
            txWire_ = writer_.addWire("uart", PinName('D', kTxBit, "U1TX"), txPinLevel_);
        }
        if (g.group == kSpeaker) {
            speakerLevel_ = PortLevel(board.gpio('C'), kSpeakerBit);
            speakerWire_ = writer_.addWire("speaker", PinName('C', kSpeakerBit, "SPEAKER"),
                                           speakerLevel_);
        }
        if (g.group == kAdc) {
            adcWire_ = writer_.addWire("adc", "ADC0_CONV", '0');
        }
    }
    writer_.begin("panel-sim pin trace; time in virtual nanoseconds");

    for (const auto& wires : ports_) {
        PortWires* w = wires.get();
        board.gpio(w->port).addListener([this, w](const GpioPort& port) { onPort(port, *w); });
    }
    if (txWire_ >= 0) {
        board.gpio('D').addListener([this](const GpioPort& d) { onTxPin(d); });
        uart.addLineListener([this](const Uart::LineCharacter& c) {
            onSerialCharacter(c.fromPanel, c.byte, c.start, c.bitTime, c.format.dataBits,
                              c.format.parity, c.format.stopBits);
        });
    }
    if (speakerWire_ >= 0) {
        timer2_ = PanelModelsOf(board).timer2;
        timer2_->addListener([this] { onSpeaker(); });
        board.gpio('C').addListener([this](const GpioPort&) { onSpeaker(); });
        onSpeaker();
    }
    if (adcWire_ >= 0) {
        PanelModelsOf(board).adc->setConversionListener(
            [this](bool converting) { onConversion(converting); });
    }
}

PinTrace::~PinTrace() {
    finish();
}

Nanoseconds PinTrace::now() const {
    return board_.scheduler().nowPs() / 1000;
}

char PinTrace::PortLevel(const GpioPort& port, uint8_t bit) {
    const auto mask = static_cast<uint8_t>(1u << bit);
    if ((port.drivenPins() & mask) == 0) {
        return 'z';
    }
    return (port.outputLatch() & mask) != 0 ? '1' : '0';
}

void PinTrace::release(Nanoseconds time) {
    writer_.release(time > lag_ ? time - lag_ : 0);
}

void PinTrace::post(int wire, char value) {
    if (pwm_.on) {
        speakerEdgesUntil(board_.scheduler().nowPs());
    }
    const Nanoseconds t = now();
    writer_.change(wire, t, value);
    release(t);
}

void PinTrace::onPort(const GpioPort& port, PortWires& wires) {
    if (finished_) {
        return;
    }
    for (PinWire& pin : wires.pins) {
        const char level = PortLevel(port, pin.bit);
        if (level != pin.level) {
            pin.level = level;
            post(pin.wire, level);
        }
    }
}

void PinTrace::onTxPin(const GpioPort& d) {
    if (finished_) {
        return;
    }
    // Given to the UART, the pin idles high between characters.
    const char level = (d.alternate() & (1u << kTxBit)) != 0 ? '1' : PortLevel(d, kTxBit);
    if (level != txPinLevel_) {
        txPinLevel_ = level;
        writer_.changeOutOfOrder(txWire_, now(), level);
    }
}

void PinTrace::onSerialCharacter(bool fromPanel, uint8_t byte, uint64_t startPs, uint64_t bitPs,
                                 uint8_t dataBits, char parity, uint8_t stopBits) {
    if (finished_) {
        return;
    }
    if (fromPanel && (board_.gpio('D').alternate() & (1u << kTxBit)) == 0) {
        return;  // the character never reaches the pin
    }
    const int wire = fromPanel ? txWire_ : rxWire_;
    uint64_t t = startPs;
    const auto bit = [&](bool high) {
        writer_.changeOutOfOrder(wire, t / 1000, high ? '1' : '0');
        t += bitPs;
    };
    bit(false);  // start
    unsigned ones = 0;
    for (unsigned i = 0; i < dataBits; ++i) {
        const bool high = ((byte >> i) & 1u) != 0;
        ones += high ? 1u : 0u;
        bit(high);
    }
    switch (parity) {
        case 'E':
            bit((ones & 1u) != 0);
            break;
        case 'O':
            bit((ones & 1u) == 0);
            break;
        case 'M':
            bit(true);
            break;
        case 'S':
            bit(false);
            break;
        default:
            break;
    }
    for (unsigned i = 0; i < stopBits; ++i) {
        bit(true);
    }
    release(now());
}

void PinTrace::onSpeaker() {
    if (finished_) {
        return;
    }
    const uint64_t nowPs = board_.scheduler().nowPs();
    const GpioPort& c = board_.gpio('C');
    const GpTimer::Pwm pwm = timer2_->pwm(GpTimer::kA);
    const bool given = (c.alternate() & (1u << kSpeakerBit)) != 0;
    const bool active = given && pwm.running && pwm.periodClocks != 0;
    if (pwm_.on) {
        if (active && pwm.periodClocks == pwm_.periodClocks &&
            pwm.pulseClocks == pwm_.pulseClocks && pwm.inverted == pwm_.inverted) {
            return;
        }
        speakerEdgesUntil(nowPs);
        pwm_.on = false;
    }
    if (!active) {
        // Given to a timer that does not run, the output rests low; else the port's own drive.
        const char level = given ? '0' : PortLevel(c, kSpeakerBit);
        if (level != speakerLevel_) {
            speakerLevel_ = level;
            post(speakerWire_, level);
        }
        return;
    }
    // A period starts with the output deasserted for period - match clocks, then asserted for
    // the match value (the pulse); PWML inverts both. A change restarts the period now.
    const uint64_t hz = board_.scheduler().clockHz();
    const uint32_t pulse = std::min(pwm.pulseClocks, pwm.periodClocks);
    pwm_.periodClocks = pwm.periodClocks;
    pwm_.pulseClocks = pwm.pulseClocks;
    pwm_.inverted = pwm.inverted;
    pwm_.periodPs = pwm.periodClocks * 1'000'000'000'000ull / hz;
    pwm_.firstPs = (pwm.periodClocks - pulse) * 1'000'000'000'000ull / hz;
    pwm_.first = pwm.inverted ? '0' : '1';
    pwm_.second = pwm.inverted ? '1' : '0';
    pwm_.originPs = nowPs;
    if (pwm_.firstPs == 0 || pwm_.firstPs >= pwm_.periodPs) {
        const char level = pwm_.firstPs == 0 ? pwm_.second : pwm_.first;  // one level throughout
        if (level != speakerLevel_) {
            speakerLevel_ = level;
            post(speakerWire_, level);
        }
        return;
    }
    pwm_.on = true;
    pwm_.nextPs = nowPs;
    pwm_.nextIsFirst = true;
    speakerEdgesUntil(nowPs);
}

void PinTrace::speakerEdgesUntil(uint64_t untilPs) {
    while (pwm_.on && pwm_.nextPs <= untilPs) {
        const char level = pwm_.nextIsFirst ? pwm_.first : pwm_.second;
        const Nanoseconds t = pwm_.nextPs / 1000;
        writer_.change(speakerWire_, t, level);
        speakerLevel_ = level;
        pwm_.nextPs += pwm_.nextIsFirst ? pwm_.firstPs : pwm_.periodPs - pwm_.firstPs;
        pwm_.nextIsFirst = !pwm_.nextIsFirst;
        release(t);
    }
}

void PinTrace::onConversion(bool converting) {
    if (!finished_) {
        post(adcWire_, converting ? '1' : '0');
    }
}

PinTrace::Summary PinTrace::finish() {
    Summary summary;
    if (finished_) {
        return summary;
    }
    const uint64_t nowPs = board_.scheduler().nowPs();
    if (pwm_.on) {
        speakerEdgesUntil(nowPs);
    }
    finished_ = true;
    const Nanoseconds end = nowPs / 1000;
    writer_.finish(end);
    std::fclose(file_);
    file_ = nullptr;
    summary.bytes = writer_.bytesWritten();
    summary.changes = writer_.changesWritten();
    summary.late = writer_.changesLate();
    summary.mostQueued = writer_.mostQueued();
    const Nanoseconds last = std::min(end, options_.window.end);
    if (last > options_.window.start) {
        summary.virtualSeconds = static_cast<double>(last - options_.window.start) / 1e9;
    }
    return summary;
}

}  // namespace sim::trace
