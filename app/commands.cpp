#include "commands.hpp"

#include "cli.hpp"
#include "command_families.hpp"
#include "workbench.hpp"

namespace app {

namespace {

std::string EscapeBars(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        escaped += c == '|' ? std::string("\\|") : std::string(1, c);
    }
    return escaped;
}

}  // namespace

void CheckOutputFile(const CommandWords& words, Command& c, const CommandContext& context,
                     const char* name) {
    c.text = words.at(1, "a file name (without spaces)");
    words.noMoreAfter(2);
    if (context.checkFiles) {
        cli::CheckOutputPath(c.text, name);
    }
}

std::string JoinWords(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        line += (line.empty() ? "" : " ") + word;
    }
    return line;
}

const std::vector<CommandEntry>& Commands() {
    static const std::vector<CommandEntry> commands = [] {
        std::vector<CommandEntry> all = PanelCommands();
        for (auto family : {ModuleCommands, ImageCommands}) {
            for (CommandEntry& entry : family()) {
                all.push_back(std::move(entry));
            }
        }
        return all;
    }();
    return commands;
}

const CommandEntry* FindCommand(std::string_view name) {
    for (const CommandEntry& entry : Commands()) {
        if (name == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

Command ParseCommand(const std::vector<std::string>& words, const CommandContext& context) {
    Command command;
    command.entry = FindCommand(words.at(0));
    if (command.entry == nullptr) {
        throw cli::UsageError{"unknown command " + cli::Quote(words[0])};
    }
    command.entry->check(CommandWords(words), command, context);
    return command;
}

CommandResult RunCommand(Session& session, const Command& command) {
    CommandResult result = command.entry->run(session, command);
    if (result.ok && command.entry->recorded != nullptr) {
        session.bench.record(command.entry->recorded(command));
    }
    return result;
}

CommandResult RunCommandLine(Session& session, std::string_view line) {
    const std::vector<std::string> words = SplitCommandLine(line);
    if (words.empty()) {
        return {};
    }
    Command command;
    try {
        command = ParseCommand(words, CommandContext{true, session.bench.hasModule()});
    } catch (const cli::UsageError& e) {
        return {false, "", e.message};
    }
    return RunCommand(session, command);
}

CommandResult RunTouch(Session& session, bool pressed, int x, int y) {
    const std::vector<std::string> words =
        pressed ? std::vector<std::string>{"touch", std::to_string(x), std::to_string(y)}
                : std::vector<std::string>{"release"};
    try {
        return RunCommand(session, ParseCommand(words, CommandContext{false, true}));
    } catch (const cli::UsageError& e) {  // a point off the screen
        return {false, "", e.message};
    }
}

std::string CommandTable() {
    std::string table = "| command | what it does |\n|---|---|\n";
    for (const CommandEntry& entry : Commands()) {
        std::string usage = entry.name;
        if (*entry.arguments != '\0') {
            usage += std::string(" ") + entry.arguments;
        }
        table += "| `" + EscapeBars(usage) + "` | " + entry.summary + " |\n";
    }
    return table;
}

bool IsWait(const Command& command) {
    return command.entry == FindCommand("wait");
}

}  // namespace app
