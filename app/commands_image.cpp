// The image's measurements (with --image): the functions that took most cycles, the calls of a
// measured function, the screen changes.
#include <cstdio>

#include "cli.hpp"
#include "command_families.hpp"
#include "image_run.hpp"

namespace app {

namespace {

double Ms(sim::Picoseconds ps) {
    return static_cast<double>(ps) / static_cast<double>(sim::kPsPerMs);
}

unsigned long long Count(uint64_t value) {
    return static_cast<unsigned long long>(value);
}

// printf into a string.
template <typename... Arguments>
std::string Format(const char* format, Arguments... arguments) {
    char text[256];
    std::snprintf(text, sizeof(text), format, arguments...);
    return text;
}

CommandResult ImageOnly(const Command& c) {
    return {true, std::string(c.entry->name) + ": measured on the image only (--image)\n", ""};
}

void CheckProfile(const CommandWords& words, Command& c, const CommandContext&) {
    c.count = words.has(1) ? words.whole(1, 1, 10000, "N") : 15;
    words.noMoreAfter(2);
}

std::string ProfileRow(const sim::arm::FunctionCost& f, const char* name) {
    return Format("  %8llu %11llu %11llu %11llu %11llu  %s\n", Count(f.probedCalls),
                  Count(f.probedInstructions), Count(f.probedCycles), Count(f.instructions),
                  Count(f.cycles), name);
}

CommandResult Profile(Session& session, const Command& c) {
    if (session.image == nullptr) {
        return ImageOnly(c);
    }
    const auto functions = session.image->takeProfile();
    sim::arm::FunctionCost total;
    for (const auto& f : functions) {
        total.instructions += f.instructions;
        total.cycles += f.cycles;
        total.probedInstructions += f.probedInstructions;
        total.probedCycles += f.probedCycles;
    }
    std::string out =
        "profile since the last one (estimated cycles of the instructions, without the bus "
        "models' access time):\n" +
        Format("  %32s %23s\n  %8s %11s %11s %11s %11s\n", "in screen changes", "in all", "calls",
               "instr.", "cycles", "instr.", "cycles") +
        ProfileRow(total, "(total)");
    int64_t shown = c.count;
    for (const auto& f : functions) {
        if (shown-- == 0) {
            break;
        }
        out += ProfileRow(f, f.function.c_str());
    }
    return {true, out, ""};
}

void CheckCalls(const CommandWords& words, Command& c, const CommandContext&) {
    c.text = words.at(1, "a function name");
    words.noMoreAfter(2);
}

// The calls that started after the previous report of the same function.
CommandResult Calls(Session& session, const Command& c) {
    if (session.image == nullptr) {
        return ImageOnly(c);
    }
    sim::Picoseconds& since = session.callsReported[c.text];
    uint64_t count = 0;
    uint64_t instructions = 0;
    uint64_t cycles = 0;
    sim::Picoseconds time = 0;
    for (const sim::arm::CallRecord& call : session.image->calls()) {
        if (*call.function == c.text && call.startTime >= since) {
            ++count;
            instructions += call.instructions;
            cycles += call.cycles;
            time += call.virtualTime;
            since = call.startTime + 1;
        }
    }
    return {true,
            c.text + Format(": %llu calls, %llu instructions, ~%llu cycles, %.3f ms virtual\n",
                            Count(count), Count(instructions), Count(cycles), Ms(time)),
            ""};
}

void CheckNothing(const CommandWords& words, Command&, const CommandContext&) {
    words.noMoreAfter(1);
}

CommandResult ScreenChanges(Session& session, const Command& c) {
    if (session.image == nullptr) {
        return ImageOnly(c);
    }
    std::string out;
    const sim::arm::CallRecord* first = nullptr;
    for (const sim::arm::CallRecord& call : session.image->calls()) {
        if (*call.function != kScreenChange) {
            continue;
        }
        first = first != nullptr ? first : &call;
        out += Format("%s(%u) at %9.3f ms: %llu instructions, ~%llu cycles, %.3f ms virtual\n",
                      kScreenChange, call.argument, Ms(call.startTime), Count(call.instructions),
                      Count(call.cycles), Ms(call.virtualTime));
    }
    if (first != nullptr) {
        out += Format(
            "start-up to the first screen painted: %llu instructions, ~%llu cycles, %.3f ms "
            "virtual\n",
            Count(first->startInstructions + first->instructions),
            Count(first->startCycles + first->cycles), Ms(first->startTime + first->virtualTime));
    }
    return {true, out, ""};
}

}  // namespace

std::vector<CommandEntry> ImageCommands() {
    return {
        {"screen-changes", "",
         "with `--image`: instructions, estimated cycles and virtual time of each screen change",
         CheckNothing, ScreenChanges, nullptr},
        {"calls", "FUNCTION",
         "with `--image`: the calls of `default_timer_proc`, `polling_Dev_1` or `CanvasMsgProc` "
         "since the last `calls` of it: count, instructions, estimated cycles, virtual time",
         CheckCalls, Calls, nullptr},
        {"profile", "[N]",
         "with `--image`: the N functions (15) that took most cycles since the previous "
         "`profile`, with their calls, instructions and estimated cycles inside screen changes, "
         "and instructions and cycles in all (functions named as the source spells them)",
         CheckProfile, Profile, nullptr},
    };
}

}  // namespace app
