#include "gdb_protocol.hpp"

#include <algorithm>
#include <cstdio>

#include "chip.hpp"

namespace gdb {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A hex number of at most eight digits, the whole text; false otherwise.
bool ParseHex(std::string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 8) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        const int digit = HexValue(c);
        if (digit < 0) {
            return false;
        }
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

// "ADDR,LENGTH" followed by `end` (or the end of the text): the rest after it in rest.
bool ParseRange(std::string_view text, char end, uint32_t& address, uint32_t& length,
                std::string_view* rest = nullptr) {
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos) {
        return false;
    }
    size_t stop = end == '\0' ? text.size() : text.find(end, comma);
    if (stop == std::string_view::npos) {
        return false;
    }
    if (!ParseHex(text.substr(0, comma), address) ||
        !ParseHex(text.substr(comma + 1, stop - comma - 1), length)) {
        return false;
    }
    if (rest != nullptr) {
        *rest = stop < text.size() ? text.substr(stop + 1) : std::string_view();
    }
    return true;
}

std::string Word(uint32_t value) {
    // Target byte order: little-endian.
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return ToHex(bytes, 4);
}

std::string HexNumber(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof(text), "%x", value);
    return text;
}

constexpr const char* kError = "E01";

}  // namespace

int ProtocolNumber(Register reg) {
    const int n = static_cast<int>(reg);
    if (n < 0 || n >= kRegisterCount) {
        return -1;
    }
    return n <= static_cast<int>(Register::Pc) ? n : n - static_cast<int>(Register::Xpsr) + 25;
}

Register RegisterForNumber(uint32_t number) {
    if (number <= static_cast<uint32_t>(Register::Pc)) {
        return static_cast<Register>(number);
    }
    if (number >= 25 && number < 25 + static_cast<uint32_t>(kRegisterCount) - 16) {
        return static_cast<Register>(number - 25 + 16);
    }
    return Register::Count;
}

const std::string& TargetDescriptionXml() {
    // GDB's M-profile feature (the core registers, xpsr at its number 25), and the system
    // registers that the Cortex-M3 keeps: the two stack pointers and the mask and control
    // registers.
    static const std::string xml = [] {
        std::string text =
            "<?xml version=\"1.0\"?>\n"
            "<!DOCTYPE target SYSTEM \"gdb-target.dtd\">\n"
            "<target version=\"1.0\">\n"
            "  <architecture>arm</architecture>\n"
            "  <feature name=\"org.gnu.gdb.arm.m-profile\">\n";
        for (int r = 0; r <= 12; ++r) {
            text += "    <reg name=\"r" + std::to_string(r) + "\" bitsize=\"32\" regnum=\"" +
                    std::to_string(r) + "\"/>\n";
        }
        text +=
            "    <reg name=\"sp\" bitsize=\"32\" type=\"data_ptr\" regnum=\"13\"/>\n"
            "    <reg name=\"lr\" bitsize=\"32\" regnum=\"14\"/>\n"
            "    <reg name=\"pc\" bitsize=\"32\" type=\"code_ptr\" regnum=\"15\"/>\n"
            "    <reg name=\"xpsr\" bitsize=\"32\" regnum=\"25\"/>\n"
            "  </feature>\n"
            "  <feature name=\"org.gnu.gdb.arm.m-system\">\n"
            "    <reg name=\"msp\" bitsize=\"32\" type=\"data_ptr\" regnum=\"26\"/>\n"
            "    <reg name=\"psp\" bitsize=\"32\" type=\"data_ptr\" regnum=\"27\"/>\n"
            "    <reg name=\"primask\" bitsize=\"32\" regnum=\"28\" group=\"system\"/>\n"
            "    <reg name=\"basepri\" bitsize=\"32\" regnum=\"29\" group=\"system\"/>\n"
            "    <reg name=\"faultmask\" bitsize=\"32\" regnum=\"30\" group=\"system\"/>\n"
            "    <reg name=\"control\" bitsize=\"32\" regnum=\"31\" group=\"system\"/>\n"
            "  </feature>\n"
            "</target>\n";
        return text;
    }();
    return xml;
}

const std::string& MemoryMapXml() {
    // Flash as read-only memory: GDB never writes it, and sets hardware breakpoints there.
    // The peripherals and the private bus are plain memory to GDB, which caches no memory it is
    // not told to.
    static const std::string xml = [] {
        const auto memory = [](const char* type, const chip::Region& region) {
            char line[96];
            std::snprintf(line, sizeof(line),
                          "  <memory type=\"%s\" start=\"0x%08x\" length=\"0x%x\"/>\n", type,
                          region.base, region.size);
            return std::string(line);
        };
        return std::string(
                   "<?xml version=\"1.0\"?>\n"
                   "<!DOCTYPE memory-map PUBLIC \"+//IDN gnu.org//DTD GDB Memory Map "
                   "V1.0//EN\" \"http://sourceware.org/gdb/gdb-memory-map.dtd\">\n"
                   "<memory-map>\n") +
               memory("rom", chip::kFlash) + memory("ram", chip::kSram) +
               memory("ram", chip::kPeripherals) + memory("ram", chip::kPrivateBus) +
               "</memory-map>\n";
    }();
    return xml;
}

std::string ToHex(const uint8_t* data, size_t length) {
    std::string out;
    out.reserve(2 * length);
    for (size_t i = 0; i < length; ++i) {
        out += kHexDigits[data[i] >> 4];
        out += kHexDigits[data[i] & 0xF];
    }
    return out;
}

std::string ToHex(std::string_view text) {
    return ToHex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

bool FromHex(std::string_view hex, std::vector<uint8_t>& out) {
    if (hex.size() % 2 != 0) {
        return false;
    }
    out.clear();
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

GdbSession::GdbSession(DebugTarget& target) : target_(target) {}

std::string GdbSession::Escape(std::string_view binary) {
    std::string out;
    out.reserve(binary.size());
    for (const char c : binary) {
        // '*' too: a receiver would take it for the start of a run-length code.
        if (c == '$' || c == '#' || c == '}' || c == '*') {
            out += '}';
            out += static_cast<char>(c ^ 0x20);
        } else {
            out += c;
        }
    }
    return out;
}

std::string GdbSession::Frame(std::string_view payload) {
    const std::string escaped = Escape(payload);
    uint8_t sum = 0;
    for (const char c : escaped) {
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    }
    std::string out = "$" + escaped + "#";
    out += kHexDigits[sum >> 4];
    out += kHexDigits[sum & 0xF];
    return out;
}

std::string GdbSession::takeOutput() {
    std::string out;
    out.swap(output_);
    return out;
}

void GdbSession::receive(std::string_view bytes) {
    for (const char c : bytes) {
        onByte(c);
    }
}

void GdbSession::onByte(char c) {
    switch (state_) {
        case State::Idle:
            if (c == '$') {
                state_ = State::Payload;
                payload_.clear();
                sum_ = 0;
            } else if (c == '\x03') {
                if (running_) {
                    target_.interrupt();
                }
            } else if (c == '-' && !noAck_ && !lastSent_.empty()) {
                output_ += lastSent_;  // the debugger did not get it whole
            } else if (c == '+') {
                lastSent_.clear();
            }
            return;
        case State::Payload:
            if (c == '#') {
                state_ = State::Check1;
            } else if (c == '$') {
                payload_.clear();  // a new start: the packet before it was broken off
                sum_ = 0;
            } else {
                sum_ = static_cast<uint8_t>(sum_ + static_cast<uint8_t>(c));
                if (c == '}') {
                    state_ = State::Escape;
                } else {
                    payload_ += c;
                }
            }
            return;
        case State::Escape:
            sum_ = static_cast<uint8_t>(sum_ + static_cast<uint8_t>(c));
            payload_ += static_cast<char>(c ^ 0x20);
            state_ = State::Payload;
            return;
        case State::Check1:
            check1_ = c;
            state_ = State::Check2;
            return;
        case State::Check2: {
            state_ = State::Idle;
            const int high = HexValue(check1_);
            const int low = HexValue(c);
            const bool good = high >= 0 && low >= 0 && (high << 4 | low) == sum_;
            if (!noAck_) {
                output_ += good ? '+' : '-';
                if (!good) {
                    return;  // the debugger sends it again
                }
            }
            handle(payload_);
            return;
        }
    }
}

void GdbSession::reply(std::string_view payload) {
    const std::string frame = Frame(payload);
    output_ += frame;
    lastSent_ = noAck_ ? std::string() : frame;
}

void GdbSession::handle(const std::string& packet) {
    if (closed_) {
        return;
    }
    dispatch(packet);
}

void GdbSession::dispatch(const std::string& packet) {
    if (packet.empty()) {
        reply("");
        return;
    }
    const std::string_view rest = std::string_view(packet).substr(1);
    switch (packet[0]) {
        case '?':
            reply(StopReply(target_.lastStop()));
            return;
        case 'g':
            reply(readRegisters());
            return;
        case 'G':
            reply(writeRegisters(rest));
            return;
        case 'p':
            reply(readRegister(rest));
            return;
        case 'P':
            reply(writeRegister(rest));
            return;
        case 'm':
            reply(readMemory(rest));
            return;
        case 'M':
            reply(writeMemory(rest, false));
            return;
        case 'X':
            reply(writeMemory(rest, true));
            return;
        case 'Z':
        case 'z':
            reply(breakpoint(rest, packet[0] == 'Z'));
            return;
        case 'c':
            resume(Resume::Continue, rest);
            return;
        case 's':
            resume(Resume::Step, rest);
            return;
        case 'b':
            if (packet == "bc" || packet == "bs") {
                resume(packet == "bc" ? Resume::ReverseContinue : Resume::ReverseStep, {});
            } else {
                reply("");
            }
            return;
        case 'v':
            if (packet.rfind("vCont;", 0) == 0) {
                // One thread: the first action is the one for it.
                const std::string_view action = rest.substr(5, rest.find_first_of(":;", 5) - 5);
                if (action == "c" || (action.size() == 3 && action[0] == 'C')) {
                    resume(Resume::Continue, {});
                } else if (action == "s" || (action.size() == 3 && action[0] == 'S')) {
                    resume(Resume::Step, {});
                } else {
                    reply("");
                }
                return;
            }
            reply(vPacket(packet));
            return;
        case 'q':
        case 'Q':
            reply(query(packet));
            if (packet == "QStartNoAckMode") {
                noAck_ = true;  // from the packet after this reply on
                lastSent_.clear();
            }
            return;
        case 'H':
        case 'T':
            reply("OK");  // one thread: every thread the debugger names is it, and alive
            return;
        case 'D':
            target_.detach();
            reply("OK");
            closed_ = true;
            return;
        case 'k':
            target_.kill();  // no reply: the debugger does not wait for one
            closed_ = true;
            return;
        default:
            reply("");  // not supported
            return;
    }
}

std::string GdbSession::query(const std::string& packet) {
    if (packet.rfind("qSupported", 0) == 0) {
        std::string features = "PacketSize=" + HexNumber(kPacketSize) +
                               ";QStartNoAckMode+;qXfer:features:read+;qXfer:memory-map:read+"
                               ";swbreak+;hwbreak+;vContSupported+";
        if (target_.canReverse()) {
            features += ";ReverseContinue+;ReverseStep+";
        }
        return features;
    }
    if (packet == "QStartNoAckMode") {
        return "OK";
    }
    if (packet.rfind("qXfer:", 0) == 0) {
        return transfer(std::string_view(packet).substr(6));
    }
    if (packet.rfind("qRcmd,", 0) == 0) {
        return monitor(std::string_view(packet).substr(6));
    }
    if (packet == "qAttached") {
        return "1";  // a running program the debugger attached to: it leaves it running
    }
    if (packet == "qC") {
        return "QC1";
    }
    if (packet == "qfThreadInfo") {
        return "m1";
    }
    if (packet == "qsThreadInfo") {
        return "l";
    }
    if (packet.rfind("qSymbol", 0) == 0) {
        return "OK";  // no symbols wanted
    }
    return "";
}

std::string GdbSession::transfer(std::string_view arguments) {
    // features:read:target.xml:OFFSET,LENGTH or memory-map:read::OFFSET,LENGTH
    const std::string* document = nullptr;
    std::string_view range;
    if (arguments.rfind("features:read:", 0) == 0) {
        const std::string_view annex = arguments.substr(14);
        if (annex.rfind("target.xml:", 0) != 0) {
            return kError;
        }
        document = &TargetDescriptionXml();
        range = annex.substr(11);
    } else if (arguments.rfind("memory-map:read::", 0) == 0) {
        document = &MemoryMapXml();
        range = arguments.substr(17);
    } else {
        return "";
    }
    uint32_t offset = 0;
    uint32_t length = 0;
    if (!ParseRange(range, '\0', offset, length)) {
        return kError;
    }
    if (offset >= document->size()) {
        return "l";
    }
    const std::string_view piece =
        std::string_view(*document).substr(offset, std::min<size_t>(length, kPacketSize - 2));
    const bool last = offset + piece.size() >= document->size();
    return (last ? "l" : "m") + std::string(piece);
}

std::string GdbSession::readRegisters() {
    std::string out;
    for (int r = 0; r < kRegisterCount; ++r) {
        uint32_t value = 0;
        out += target_.readRegister(static_cast<Register>(r), value) ? Word(value) : "xxxxxxxx";
    }
    return out;
}

std::string GdbSession::writeRegisters(std::string_view hex) {
    std::vector<uint8_t> bytes;
    if (!FromHex(hex, bytes) || bytes.size() % 4 != 0 || bytes.size() > 4 * kRegisterCount) {
        return kError;
    }
    for (size_t r = 0; r < bytes.size() / 4; ++r) {
        const uint8_t* b = &bytes[4 * r];
        const uint32_t value = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
        if (!target_.writeRegister(static_cast<Register>(r), value)) {
            return kError;
        }
    }
    return "OK";
}

std::string GdbSession::readRegister(std::string_view arguments) {
    uint32_t number = 0;
    if (!ParseHex(arguments, number)) {
        return kError;
    }
    const Register reg = RegisterForNumber(number);
    uint32_t value = 0;
    if (reg == Register::Count) {
        return kError;
    }
    return target_.readRegister(reg, value) ? Word(value) : "xxxxxxxx";
}

std::string GdbSession::writeRegister(std::string_view arguments) {
    const size_t equals = arguments.find('=');
    uint32_t number = 0;
    std::vector<uint8_t> bytes;
    if (equals == std::string_view::npos || !ParseHex(arguments.substr(0, equals), number) ||
        !FromHex(arguments.substr(equals + 1), bytes) || bytes.size() != 4) {
        return kError;
    }
    const Register reg = RegisterForNumber(number);
    const uint32_t value =
        bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    if (reg == Register::Count || !target_.writeRegister(reg, value)) {
        return kError;
    }
    return "OK";
}

std::string GdbSession::readMemory(std::string_view arguments) {
    uint32_t address = 0;
    uint32_t length = 0;
    if (!ParseRange(arguments, '\0', address, length)) {
        return kError;
    }
    length = std::min<uint32_t>(length, kPacketSize / 2);
    std::vector<uint8_t> bytes(length);
    if (!target_.readMemory(address, bytes.data(), length)) {
        return kError;
    }
    return ToHex(bytes.data(), length);
}

std::string GdbSession::writeMemory(std::string_view arguments, bool binary) {
    uint32_t address = 0;
    uint32_t length = 0;
    std::string_view data;
    if (!ParseRange(arguments, ':', address, length, &data)) {
        return kError;
    }
    std::vector<uint8_t> bytes;
    if (binary) {
        bytes.assign(data.begin(), data.end());  // already unescaped by the framing
    } else if (!FromHex(data, bytes)) {
        return kError;
    }
    if (bytes.size() != length) {
        return kError;
    }
    if (length == 0) {
        return "OK";  // the debugger's probe for binary writes
    }
    return target_.writeMemory(address, bytes.data(), length) ? "OK" : kError;
}

std::string GdbSession::breakpoint(std::string_view arguments, bool insert) {
    // TYPE,ADDR,KIND (conditions after a ';' are not offered, so never sent)
    if (arguments.size() < 2 || arguments[0] < '0' || arguments[0] > '4' || arguments[1] != ',') {
        return "";
    }
    const auto kind = static_cast<BreakKind>(arguments[0] - '0');
    if (!target_.supports(kind)) {
        return "";
    }
    uint32_t address = 0;
    uint32_t length = 0;
    if (!ParseRange(arguments.substr(2, arguments.find(';') - 2), '\0', address, length)) {
        return kError;
    }
    const bool done = insert ? target_.insertBreak(kind, address, length)
                             : target_.removeBreak(kind, address, length);
    return done ? "OK" : kError;
}

void GdbSession::resume(Resume how, std::string_view address) {
    if (!address.empty()) {
        uint32_t pc = 0;
        if (!ParseHex(address, pc) || !target_.writeRegister(Register::Pc, pc)) {
            reply(kError);
            return;
        }
    }
    const bool reverse = how == Resume::ReverseContinue || how == Resume::ReverseStep;
    if (reverse && !target_.canReverse()) {
        reply("");
        return;
    }
    std::string why;
    if (!target_.resume(how, why)) {
        if (!why.empty()) {
            console(why + (why.back() == '\n' ? "" : "\n"));
        }
        reply(kError);
        return;
    }
    running_ = true;
}

std::string GdbSession::vPacket(const std::string& packet) {
    if (packet == "vCont?") {
        return "vCont;c;C;s;S";
    }
    if (packet.rfind("vKill", 0) == 0) {
        target_.kill();
        closed_ = true;
        return "OK";
    }
    return "";  // vMustReplyEmpty and everything else
}

std::string GdbSession::monitor(std::string_view hexCommand) {
    std::vector<uint8_t> bytes;
    if (!FromHex(hexCommand, bytes)) {
        return kError;
    }
    // The text goes out as console output packets before the final reply.
    console(target_.monitor(std::string(bytes.begin(), bytes.end())));
    return "OK";
}

void GdbSession::console(std::string_view text) {
    constexpr size_t kPiece = kPacketSize / 2 - 1;
    for (size_t at = 0; at < text.size(); at += kPiece) {
        reply("O" + ToHex(text.substr(at, kPiece)));
    }
}

void GdbSession::stopped(const StopEvent& event) {
    running_ = false;
    reply(StopReply(event));
}

std::string GdbSession::StopReply(const StopEvent& event) {
    char head[8];
    if (event.reason == StopEvent::Reason::Exited) {
        std::snprintf(head, sizeof(head), "W%02x", event.exitCode & 0xFF);
        return head;
    }
    std::snprintf(head, sizeof(head), "T%02x", event.signal & 0xFF);
    std::string out = std::string(head) + "thread:1;";
    switch (event.reason) {
        case StopEvent::Reason::SoftwareBreak:
            return out + "swbreak:;";
        case StopEvent::Reason::HardwareBreak:
            return out + "hwbreak:;";
        case StopEvent::Reason::Watch:
            return out + "watch:" + HexNumber(event.address) + ";";
        case StopEvent::Reason::ReadWatch:
            return out + "rwatch:" + HexNumber(event.address) + ";";
        case StopEvent::Reason::AccessWatch:
            return out + "awatch:" + HexNumber(event.address) + ";";
        case StopEvent::Reason::HistoryStart:
            return out + "replaylog:begin;";
        case StopEvent::Reason::HistoryEnd:
            return out + "replaylog:end;";
        default:
            return out;
    }
}

}  // namespace gdb
