// The bench's one set of commands. Each command has its name, its arguments, a check made when
// its line is read (so that a script with a bad line is refused before any virtual time runs),
// its action on the session, and the line the recorder (--record) writes for it. Scripts, the
// window's keys, the web page and the recorder all go through here; so will any other front end
// (RunCommandLine takes one line as a person would type it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "command_words.hpp"
#include "session.hpp"

namespace app {

struct FaultKind;
struct CommandEntry;

struct CommandResult {
    bool ok = true;
    std::string output;  // what the command prints (`status`, `profile`), lines ending in \n
    std::string error;   // why it failed, one line
};

// What a check knows of the session it is for.
struct CommandContext {
    bool checkFiles = true;   // also whether the files it would write can be
    bool moduleModel = true;  // the module model is on the line (not a real peer, --serial)
};

// One command line, read and checked: what its words say (each command fills the fields it
// takes). It holds no copy of the words, so that a script's millions of waits cost no memory.
struct Command {
    const CommandEntry* entry = nullptr;
    int x = 0;
    int y = 0;
    double ms = 0;
    uint32_t rgb = 0;
    int64_t count = -1;  // a fault's answers or profile's functions (-1: not given)
    int index = 0;       // a module register's place in the block
    uint16_t value = 0;
    std::string text;  // a file or function name, module-process's run|stop, serial-in's MS
    const FaultKind* fault = nullptr;
    std::vector<uint8_t> bytes;
};

struct CommandEntry {
    const char* name;
    const char* arguments;  // as the table shows them: "X Y [MS]"
    std::string summary;    // what it does, one line of the table
    // Reads the arguments into the command; a mistake throws cli::UsageError.
    void (*check)(const CommandWords& words, Command& command, const CommandContext& context);
    CommandResult (*run)(Session& session, const Command& command);
    // The line --record writes when the command has run; nullptr when it writes none (the
    // command only looks, or what it does is recorded otherwise: a wait as the time passing).
    std::string (*recorded)(const Command& command);
};

// The registry, in the order of the table.
const std::vector<CommandEntry>& Commands();
const CommandEntry* FindCommand(std::string_view name);

// The command of a line's words, checked; a mistake throws cli::UsageError.
Command ParseCommand(const std::vector<std::string>& words, const CommandContext& context);
// Runs a checked command, and records it if it did something the recorder keeps.
CommandResult RunCommand(Session& session, const Command& command);
// One line as typed (words separated by spaces or tabs): checked against the session, then run.
CommandResult RunCommandLine(Session& session, std::string_view line);

// The finger's touch (pressed at X, Y) or release, as the bench's command: how the window's
// mouse and the web page's finger reach the panel.
CommandResult RunTouch(Session& session, bool pressed, int x, int y);

// The table of the commands (Markdown: the README's script table), for --list-commands.
std::string CommandTable();

// Whether the command is `wait`, which a script runs together with the waits that follow it.
bool IsWait(const Command& command);

}  // namespace app
