// The bench's command registry: each command's good lines and its mistakes (refused with their
// exact message when the line is read), what --record writes for a command reading back as the
// same command, and a session driven through RunCommandLine: output, a fault that lasts N
// answers, a register by its variable's name, the Modbus log in --modbus-log's format, and a
// recording that reads back as a script.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "commands.hpp"
#include "panel_models.hpp"
#include "panel_view.hpp"
#include "remote_module.hpp"
#include "script_reader.hpp"
#include "uart.hpp"
#include "workbench.hpp"

namespace {

// The message a line is refused with, or "" when it is accepted.
std::string Refusal(const std::string& line, const app::CommandContext& context) {
    try {
        (void)app::ParseCommand(app::SplitCommandLine(line), context);
    } catch (const cli::UsageError& e) {
        return e.message;
    }
    return "";
}

constexpr app::CommandContext kModel{false, true};
constexpr app::CommandContext kRealPeer{false, false};

struct Case {
    std::string line;
    std::string error;  // "" when the line is good
};

const std::vector<Case> kCases = {
    {"wait 10", ""},
    {"wait 0.5", ""},
    {"wait", "wait needs a time in ms"},
    {"wait -1", "MS needs a number from 0 to 1e+08, not '-1'"},
    {"wait 1 2", "unexpected '2' after wait"},
    {"touch 10 20", ""},
    {"touch 320 0", "X needs a whole number from 0 to 319, not '320'"},
    {"touch 1", "touch needs X and Y"},
    {"release", ""},
    {"release now", "unexpected 'now' after release"},
    {"tap 1 2", ""},
    {"tap 1 2 300", ""},
    {"tap 1 2 0", "tap needs a hold time above 0 ms"},
    {"tap 1 240", "Y needs a whole number from 0 to 239, not '240'"},
    {"screenshot a.png", ""},
    {"screenshot", "screenshot needs a file name (without spaces)"},
    {"screenshot a.png b.png", "unexpected 'b.png' after screenshot"},
    {"expect-pixel 1 2 00ff00", ""},
    {"expect-pixel 1 2 00FF0", "the colour must be six hex digits RRGGBB, not '00FF0'"},
    {"expect-pixel 1 2", "expect-pixel needs X Y RRGGBB"},
    {"status", ""},
    {"status now", "unexpected 'now' after status"},
    {"fault silence", ""},
    {"fault bad-crc 3", ""},
    {"fault none", ""},
    {"fault unplugged", ""},
    {"fault",
     "fault needs a kind (none, silence, bad-crc, exception, late, unplugged, "
     "wrong-address, wrong-function, truncated, noise)"},
    {"fault quiet",
     "no fault 'quiet' (none, silence, bad-crc, exception, late, unplugged, "
     "wrong-address, wrong-function, truncated, noise)"},
    {"fault none 3", "fault none takes no number of answers"},
    {"fault unplugged 3", "fault unplugged takes no number of answers"},
    {"fault late 0", "N needs a whole number from 1 to 1000000000, not '0'"},
    {"fault late 2 3", "unexpected '3' after fault"},
    {"register 108 1", ""},
    {"register do1 1", ""},
    {"register DEV_1_AO10 65535", ""},
    {"register status_led 1", ""},
    {"register 97 1",
     "no module register '97' (98-119, a name such as STATUS_LED or a "
     "variable such as Dev_1_AO0)"},
    {"register DO9 1",
     "no module register 'DO9' (98-119, a name such as STATUS_LED or a "
     "variable such as Dev_1_AO0)"},
    {"register 108 70000", "the value needs a whole number from 0 to 65535, not '70000'"},
    {"register 108", "register needs an address (98-119) or name, and a value"},
    {"register 108 1 2", "unexpected '2' after register"},
    {"serial-in 5 01 03 0a", ""},
    {"serial-in 5", "serial-in needs a delay in ms and hex bytes"},
    {"serial-in 5 1G", "serial-in: '1G' is not a hex byte"},
    {"serial-in 5 123", "serial-in: '123' is not a hex byte"},
    {"module-process run", ""},
    {"module-process stop", ""},
    {"module-process go", "module-process needs run or stop, not 'go'"},
    {"modbus-log m.log", ""},
    {"modbus-log", "modbus-log needs a file name (without spaces)"},
    {"screen-changes", ""},
    {"screen-changes 1", "unexpected '1' after screen-changes"},
    {"calls polling_Dev_1", ""},
    {"calls", "calls needs a function name"},
    {"profile", ""},
    {"profile 5", ""},
    {"profile 0", "N needs a whole number from 1 to 10000, not '0'"},
    {"module-fault silence", "unknown command 'module-fault'"},
    {"frobnicate", "unknown command 'frobnicate'"},
};

// With a real peer on the line (--serial) there is no module model to act on.
const std::vector<Case> kRealPeerCases = {
    {"fault none", ""},
    {"fault unplugged", ""},
    {"serial-in 0 01", ""},
    {"fault silence",
     "fault silence acts on the module model, which is not on the line (--serial)"},
    {"fault late 2", "fault late acts on the module model, which is not on the line (--serial)"},
    {"register 108 1", "register: no module model on the line (a real peer is, --serial)"},
    {"module-process stop",
     "module-process: no module model on the line (a real peer is, --serial)"},
};

TEST(Commands, EachLineIsCheckedWhenRead) {
    for (const Case& c : kCases) {
        EXPECT_EQ(Refusal(c.line, kModel), c.error) << c.line;
    }
    for (const Case& c : kRealPeerCases) {
        EXPECT_EQ(Refusal(c.line, kRealPeer), c.error) << c.line << " (with --serial)";
    }
}

TEST(Commands, EveryCommandHasAGoodAndABadLineAbove) {
    std::set<std::string> good;
    std::set<std::string> bad;
    for (const Case& c : kCases) {
        (c.error.empty() ? good : bad).insert(app::SplitCommandLine(c.line)[0]);
    }
    for (const app::CommandEntry& entry : app::Commands()) {
        EXPECT_TRUE(good.count(entry.name) == 1) << entry.name << " has no good line";
        EXPECT_TRUE(bad.count(entry.name) == 1) << entry.name << " has no bad line";
        EXPECT_NE(app::CommandTable().find(std::string("| `") + entry.name), std::string::npos);
    }
}

// What the check read from a line, for comparing two commands.
std::string Fields(const app::Command& c) {
    std::ostringstream out;
    out << c.entry->name << " x=" << c.x << " y=" << c.y << " ms=" << c.ms << " rgb=" << c.rgb
        << " count=" << c.count << " index=" << c.index << " value=" << c.value
        << " text=" << c.text << " fault=" << (c.fault != nullptr ? c.fault->name : "-");
    for (const uint8_t byte : c.bytes) {
        out << " " << static_cast<int>(byte);
    }
    return out.str();
}

TEST(Commands, WhatIsRecordedReadsBackAsTheSameCommand) {
    int recorded = 0;
    for (const Case& c : kCases) {
        if (!c.error.empty()) {
            continue;
        }
        const app::Command command = app::ParseCommand(app::SplitCommandLine(c.line), kModel);
        if (command.entry->recorded == nullptr) {
            continue;
        }
        ++recorded;
        const std::string line = command.entry->recorded(command);
        const app::Command again = app::ParseCommand(app::SplitCommandLine(line), kModel);
        EXPECT_EQ(Fields(again), Fields(command)) << c.line << " recorded as " << line;
        EXPECT_EQ(again.entry->recorded(again), line) << c.line;
    }
    EXPECT_GE(recorded, 8);  // touch, release, faults, registers, serial-in, module-process
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Commands, ASessionDrivenLineByLine) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("commands_test." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    app::Options options;
    options.mode = app::Options::Mode::Script;
    options.modbusLog = (dir / "option.log").string();
    options.record = (dir / "session.script").string();
    sim::PanelHarness panel(options.board, sim::PanelHarness::Firmware::Host);
    const std::unique_ptr<app::PanelView> view = app::HostView();
    app::Workbench bench(panel, options);
    ASSERT_TRUE(bench.start());
    app::Session session{panel, bench, *view, nullptr};
    const auto run = [&session](const std::string& line) {
        const app::CommandResult result = app::RunCommandLine(session, line);
        EXPECT_TRUE(result.ok) << line << ": " << result.error;
        return result.output;
    };

    EXPECT_EQ(app::RunCommandLine(session, "frobnicate 1").error, "unknown command 'frobnicate'");
    run("wait 1000");
    EXPECT_NE(run("status").find("Dev_1_ERROR=0  fault=none"), std::string::npos);
    run("fault silence 2");
    EXPECT_NE(run("status").find("fault=silence"), std::string::npos);
    run("wait 2000");
    // Two answers were left out, then the module answered again: the fault is spent.
    int silent = 0;
    for (const auto& exchange : sim::RemoteModuleOf(panel.board()).exchanges()) {
        silent += exchange.fault == sim::ModuleFault::Silence ? 1 : 0;
    }
    EXPECT_EQ(silent, 2);
    EXPECT_NE(run("status").find("fault=none"), std::string::npos);
    run("register dev_1_ao10 7");
    EXPECT_EQ(bench.registers().at(10), 7);
    run("tap 60 70");
    run("modbus-log " + (dir / "script.log").string());
    bench.finish();

    // The script's log and --modbus-log's are the same lines.
    const std::string logged = ReadFile(dir / "script.log");
    EXPECT_NE(logged.find("| timeout"), std::string::npos);
    EXPECT_EQ(logged, ReadFile(dir / "option.log").substr(0, logged.size()));
    // The recording reads back as a script, with the commands that changed something.
    std::ifstream recording(dir / "session.script");
    app::ScriptReader reader(recording, "session.script");
    std::vector<std::string> lines;
    for (app::ScriptLine line; reader.next(line);) {
        const app::Command command = app::ParseCommand(line.words, kModel);
        if (!app::IsWait(command)) {
            lines.push_back(command.entry->recorded(command));
        }
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"fault silence 2", "register 108 7", "touch 60 70",
                                               "release"}));
    std::filesystem::remove_all(dir);
}

}  // namespace
