// The panel's commands: virtual time, the finger on the touch panel, the screen.
#include <cstdio>

#include "cli.hpp"
#include "command_families.hpp"
#include "panel_models.hpp"

namespace app {

namespace {

constexpr double kDefaultHoldMs = 150;

CommandResult Failed(std::string why) {
    return {false, "", std::move(why)};
}

CommandResult RunFor(Session& session, double ms) {
    if (session.panel.runForMs(ms) == sim::StopReason::Halted) {
        return Failed("the firmware stopped: " + session.panel.core().haltReason());
    }
    return {};
}

// A finger command through the registry, so that it is recorded as one.
CommandResult RunWords(Session& session, std::vector<std::string> words) {
    return RunCommand(session, ParseCommand(words, CommandContext{false, true}));
}

void CheckWait(const CommandWords& words, Command& c, const CommandContext&) {
    c.ms = words.ms(1);
    words.noMoreAfter(2);
}

CommandResult Wait(Session& session, const Command& c) {
    return RunFor(session, c.ms);
}

void CheckPoint(const CommandWords& words, Command& c, const CommandContext&) {
    c.x = words.x(1);
    c.y = words.y(2);
    words.noMoreAfter(3);
}

CommandResult Touch(Session& session, const Command& c) {
    sim::TouchOf(session.panel.board()).press(c.x, c.y);
    return {};
}

std::string RecordTouch(const Command& c) {
    return "touch " + std::to_string(c.x) + " " + std::to_string(c.y);
}

void CheckNothing(const CommandWords& words, Command&, const CommandContext&) {
    words.noMoreAfter(1);
}

CommandResult Release(Session& session, const Command&) {
    sim::TouchOf(session.panel.board()).release();
    return {};
}

std::string RecordRelease(const Command&) {
    return "release";
}

void CheckTap(const CommandWords& words, Command& c, const CommandContext&) {
    c.x = words.x(1);
    c.y = words.y(2);
    c.ms = kDefaultHoldMs;
    if (words.has(3)) {
        c.ms = words.ms(3);
        if (c.ms <= 0) {
            throw cli::UsageError{"tap needs a hold time above 0 ms"};
        }
    }
    words.noMoreAfter(4);
}

// Recorded as what it is made of: the touch, the time held, the release.
CommandResult Tap(Session& session, const Command& c) {
    CommandResult result = RunWords(session, {"touch", std::to_string(c.x), std::to_string(c.y)});
    if (result.ok) {
        result = RunFor(session, c.ms);
    }
    if (result.ok) {
        result = RunWords(session, {"release"});
    }
    return result.ok ? RunFor(session, kDefaultHoldMs) : result;
}

void CheckScreenshot(const CommandWords& words, Command& c, const CommandContext& context) {
    CheckOutputFile(words, c, context, "screenshot");
}

CommandResult Screenshot(Session& session, const Command& c) {
    std::string error;
    if (!sim::DisplayOf(session.panel.board()).savePng(c.text, &error)) {
        return Failed("cannot save " + c.text + ": " + error);
    }
    return {};
}

void CheckExpectPixel(const CommandWords& words, Command& c, const CommandContext&) {
    c.x = words.x(1);
    c.y = words.y(2);
    c.rgb = words.colour(3);
    words.noMoreAfter(4);
}

CommandResult ExpectPixel(Session& session, const Command& c) {
    const uint32_t actual = sim::DisplayOf(session.panel.board()).screenRgb(c.x, c.y);
    if (actual == c.rgb) {
        return {};
    }
    char why[100];
    std::snprintf(why, sizeof(why), "pixel (%d, %d) is %06X, expected %06X", c.x, c.y, actual,
                  c.rgb);
    return Failed(why);
}

CommandResult Status(Session& session, const Command&) {
    return {true, StatusLine(session) + "\n", ""};
}

}  // namespace

std::vector<CommandEntry> PanelCommands() {
    return {
        {"wait", "MS", "run MS milliseconds of virtual time", CheckWait, Wait, nullptr},
        {"touch", "X Y", "finger down at screen point (X, Y) (X 0-319, Y 0-239), or moved there",
         CheckPoint, Touch, RecordTouch},
        {"release", "", "finger up", CheckNothing, Release, RecordRelease},
        {"tap", "X Y [MS]", "touch, run MS (default 150, above 0), release, run 150", CheckTap, Tap,
         nullptr},
        {"screenshot", "FILE",
         "save the screen as a PNG (FILE relative to the current folder, no spaces)",
         CheckScreenshot, Screenshot, nullptr},
        {"expect-pixel", "X Y RRGGBB",
         "fail unless the screen shows this colour (six hex digits) at (X, Y)", CheckExpectPixel,
         ExpectPixel, nullptr},
        {"status", "", "print a status line", CheckNothing, Status, nullptr},
    };
}

}  // namespace app
