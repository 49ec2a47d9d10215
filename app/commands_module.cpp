// The module's commands and the line's: faults, registers, the module's process, characters
// from the far side, the log of the exchanges.
#include <cstdio>
#include <fstream>

#include "cli.hpp"
#include "command_families.hpp"
#include "fault_kinds.hpp"
#include "registers.hpp"
#include "workbench.hpp"

namespace app {

namespace {

constexpr int64_t kMostAnswers = 1'000'000'000;

CommandResult Done(bool ok, std::string why) {
    return {ok, "", ok ? std::string() : std::move(why)};
}

void NeedModel(const CommandWords& words, const CommandContext& context) {
    if (!context.moduleModel) {
        throw cli::UsageError{words.command() +
                              ": no module model on the line (a real peer is, --serial)"};
    }
}

void CheckFault(const CommandWords& words, Command& c, const CommandContext& context) {
    c.fault = FindFaultKind(words.at(1, "a kind (" + FaultKindNames() + ")"));
    if (c.fault == nullptr) {
        throw cli::UsageError{"no fault " + cli::Quote(words.at(1, "")) + " (" + FaultKindNames() +
                              ")"};
    }
    if (words.has(2)) {
        if (!c.fault->onModule()) {
            throw cli::UsageError{std::string("fault ") + c.fault->name +
                                  " takes no number of answers"};
        }
        c.count = words.whole(2, 1, kMostAnswers, "N");
    }
    words.noMoreAfter(3);
    if (c.fault->onModule() && !context.moduleModel) {
        throw cli::UsageError{std::string("fault ") + c.fault->name +
                              " acts on the module model, which is not on the line (--serial)"};
    }
}

CommandResult Fault(Session& session, const Command& c) {
    std::string why;
    const bool ok = session.bench.setFault(*c.fault, c.count, &why);
    return Done(ok, why);
}

std::string RecordFault(const Command& c) {
    return std::string("fault ") + c.fault->name +
           (c.count > 0 ? " " + std::to_string(c.count) : std::string());
}

void CheckRegister(const CommandWords& words, Command& c, const CommandContext& context) {
    const std::string range(remote_io::AddressRange());
    const std::string& name = words.at(1, "an address (" + range + ") or name, and a value");
    c.index = remote_io::FindRegister(name);
    if (c.index < 0) {
        throw cli::UsageError{"no module register " + cli::Quote(name) + " (" + range +
                              ", a name such as " + remote_io::kRegisters[0].tool +
                              " or a variable such as " + remote_io::kRegisters[0].variable + ")"};
    }
    c.value = static_cast<uint16_t>(cli::Whole(
        words.at(2, "an address (" + range + ") or name, and a value"), 0, 0xFFFF, "the value"));
    words.noMoreAfter(3);
    NeedModel(words, context);
}

CommandResult Register(Session& session, const Command& c) {
    std::string why;
    const bool ok = session.bench.setRegister(c.index, c.value, &why);
    return Done(ok, why);
}

std::string RecordRegister(const Command& c) {
    return "register " + std::to_string(remote_io::kFirstRegister + c.index) + " " +
           std::to_string(c.value);
}

void CheckSerialIn(const CommandWords& words, Command& c, const CommandContext&) {
    c.ms = words.ms(1, "a delay in ms and hex bytes");
    c.text = words.at(1, "");  // recorded as written: a recording's times are exact
    (void)words.at(2, "a delay in ms and hex bytes");
    for (size_t i = 2; i < words.size(); ++i) {
        c.bytes.push_back(words.hexByte(i));
    }
}

CommandResult SerialIn(Session& session, const Command& c) {
    session.bench.serialIn(c.ms, c.bytes);
    return {};
}

std::string RecordSerialIn(const Command& c) {
    std::string line = "serial-in " + c.text;
    char hex[4];
    for (const uint8_t byte : c.bytes) {
        std::snprintf(hex, sizeof(hex), " %02X", byte);
        line += hex;
    }
    return line;
}

void CheckProcess(const CommandWords& words, Command& c, const CommandContext& context) {
    c.text = words.at(1, "run or stop");
    if (c.text != "run" && c.text != "stop") {
        throw cli::UsageError{"module-process needs run or stop, not " + cli::Quote(c.text)};
    }
    words.noMoreAfter(2);
    NeedModel(words, context);
}

CommandResult Process(Session& session, const Command& c) {
    std::string why;
    const bool ok = session.bench.setProcessRunning(c.text == "run", &why);
    return Done(ok, why);
}

std::string RecordProcess(const Command& c) {
    return "module-process " + c.text;
}

void CheckModbusLog(const CommandWords& words, Command& c, const CommandContext& context) {
    CheckOutputFile(words, c, context, "modbus-log");
}

CommandResult ModbusLog(Session& session, const Command& c) {
    const ModbusMonitor& monitor = session.bench.monitor();
    std::ofstream out(c.text);
    std::vector<std::string> lines;
    monitor.linesAfter(0, lines);
    for (const std::string& line : lines) {
        out << line << '\n';
    }
    if (!out) {
        return Done(false, "cannot write " + c.text);
    }
    if (!monitor.keepsAll()) {
        return {true,
                "modbus-log: the last " + std::to_string(lines.size()) +
                    " lines (a session keeps no more; --modbus-log FILE writes them all)\n",
                ""};
    }
    return {};
}

}  // namespace

std::vector<CommandEntry> ModuleCommands() {
    return {
        {"fault", "KIND [N]",
         "the module misbehaves for N answers, or until `fault none`: " + FaultKindNames() +
             " (`unplugged`: nothing on the line; `none` brings it back)",
         CheckFault, Fault, RecordFault},
        {"register", "ADDRESS|NAME VALUE",
         "set a module register (" + std::string(remote_io::AddressRange()) +
             ", the tool's name such as `DO1` or the variable such as `Dev_1_AO10`, in any "
             "case; value 0-65535)",
         CheckRegister, Register, RecordRegister},
        {"serial-in", "MS HH HH ...",
         "characters from the far side of the line, the first MS from now, then back to back",
         CheckSerialIn, SerialIn, RecordSerialIn},
        {"module-process", "run|stop",
         "the module's process behind its registers runs or holds still", CheckProcess, Process,
         RecordProcess},
        {"modbus-log", "FILE",
         "every frame on the line so far, as `--modbus-log` writes them (time, direction, hex, "
         "meaning, verdict)",
         CheckModbusLog, ModbusLog, nullptr},
    };
}

}  // namespace app
