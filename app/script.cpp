#include "script.hpp"

#include <cstdio>
#include <istream>
#include <sstream>

#include "cli.hpp"
#include "debugger.hpp"
#include "image_run.hpp"
#include "panel_models.hpp"
#include "workbench.hpp"

namespace app {

std::string StatusLine(const Session& session) {
    sim::Board& board = session.panel.board();
    const PanelView& view = session.view;
    const auto number = [](const auto& value) {
        return value ? std::to_string(*value) : std::string("?");
    };
    char line[200];
    std::snprintf(line, sizeof(line),
                  "t=%8.3f s  clock=%u Hz  ticks=%s  backlight=%s  frame=%s  Dev_1_ERROR=%s",
                  session.panel.nowMs() / 1000.0, board.sysctl().clockHz(),
                  number(view.ticks()).c_str(), sim::DisplayOf(board).backlight() ? "on" : "off",
                  number(view.screen()).c_str(), number(view.dev1Error()).c_str());
    std::string status = line + session.bench.statusSuffix();
    if (const auto instructions = view.instructions()) {
        status += "  instructions=" + std::to_string(*instructions) + "  cycles~" +
                  std::to_string(view.cycles().value_or(0));
    }
    if (session.debugger != nullptr) {
        if (const std::string halted = session.debugger->haltedText(); !halted.empty()) {
            status += "  " + halted;
        }
    }
    return status;
}

namespace {

constexpr double kMaxWaitMs = 1e8;  // a little over a day of virtual time
constexpr double kDefaultHoldMs = 150;

// The words of one line and the checks on them; a mistake throws cli::UsageError.
class Words {
  public:
    explicit Words(const std::vector<std::string>& words) : words_(words) {}
    const std::string& command() const { return words_[0]; }
    bool has(size_t i) const { return i < words_.size(); }
    const std::string& at(size_t i, const std::string& what) const {
        if (!has(i)) {
            throw cli::UsageError{command() + " needs " + what};
        }
        return words_[i];
    }
    void noMoreAfter(size_t count) const {
        if (words_.size() > count) {
            throw cli::UsageError{"unexpected " + cli::Quote(words_[count]) + " after " +
                                  command()};
        }
    }
    int x(size_t i) const { return static_cast<int>(cli::Whole(at(i, "X and Y"), 0, 319, "X")); }
    const std::vector<std::string>& all() const { return words_; }
    int y(size_t i) const { return static_cast<int>(cli::Whole(at(i, "X and Y"), 0, 239, "Y")); }
    double ms(size_t i) const { return cli::Real(at(i, "a time in ms"), 0, kMaxWaitMs, "MS"); }

  private:
    const std::vector<std::string>& words_;
};

uint32_t Colour(const std::string& hex) {
    uint32_t rgb = 0;
    for (const char c : hex) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0 || hex.size() != 6) {
            throw cli::UsageError{"the colour must be six hex digits RRGGBB, not " +
                                  cli::Quote(hex)};
        }
        rgb = rgb << 4 | static_cast<uint32_t>(digit);
    }
    return rgb;
}

}  // namespace

ScriptCommand ParseCommand(const ScriptLine& line, bool checkFiles) {
    using Kind = ScriptCommand::Kind;
    const Words words(line.words);
    ScriptCommand c;
    c.line = line.number;
    const std::string& command = words.command();
    if (command == "wait") {
        c.kind = Kind::Wait;
        c.ms = words.ms(1);
        words.noMoreAfter(2);
    } else if (command == "touch") {
        c.kind = Kind::Touch;
        c.x = words.x(1);
        c.y = words.y(2);
        words.noMoreAfter(3);
    } else if (command == "release") {
        c.kind = Kind::Release;
        words.noMoreAfter(1);
    } else if (command == "tap") {
        c.kind = Kind::Tap;
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
    } else if (command == "screenshot") {
        c.kind = Kind::Screenshot;
        c.file = words.at(1, "a file name (without spaces)");
        words.noMoreAfter(2);
        if (checkFiles) {
            cli::CheckOutputPath(c.file, "screenshot");
        }
    } else if (command == "expect-pixel") {
        c.kind = Kind::ExpectPixel;
        c.x = words.x(1);
        c.y = words.y(2);
        c.rgb = Colour(words.at(3, "X Y RRGGBB"));
        words.noMoreAfter(4);
    } else if (command == "status") {
        c.kind = Kind::Status;
        words.noMoreAfter(1);
    } else if (IsScenarioCommand(command)) {
        c.kind = Kind::Scenario;
        for (const std::string& word : line.words) {
            c.text += (c.text.empty() ? "" : " ") + word;
        }
        if (command == "modbus-log") {
            const std::string& file = words.at(1, "a file name (without spaces)");
            words.noMoreAfter(2);
            if (checkFiles) {
                cli::CheckOutputPath(file, "modbus-log");
            }
        } else if (command == "profile") {
            if (words.has(1)) {
                (void)cli::Whole(words.at(1, "a number of functions"), 1, 10000, "N");
            }
            words.noMoreAfter(2);
        } else if (command == "screen-changes") {
            words.noMoreAfter(1);
        } else if (command == "calls") {
            (void)words.at(1, "a function name");
            words.noMoreAfter(2);
        }
    } else if (Workbench::IsCommand(command)) {
        c.kind = Kind::Workbench;
        c.words = words.all();
        if (const std::string why = Workbench::CheckCommand(c.words); !why.empty()) {
            throw cli::UsageError{why};
        }
    } else {
        throw cli::UsageError{"unknown command " + cli::Quote(command)};
    }
    return c;
}

bool CheckScript(std::istream& script, const std::string& name, std::string& error) {
    ScriptReader reader(script, name);
    ScriptLine line;
    while (reader.next(line)) {
        try {
            (void)ParseCommand(line, true);
        } catch (const cli::UsageError& e) {
            error = reader.where(line.number) + e.message;
            return false;
        }
    }
    error = reader.error();
    return error.empty();
}

namespace {

// Waits that follow each other, run as one span: each stop of the firmware for the harness is a
// hand-over between two threads, dearer than a millisecond of an idle panel. Their lines are
// kept so that a stop of the firmware is reported at the wait it happened in.
class WaitRun {
  public:
    static constexpr size_t kMostWaits = 1024;

    bool empty() const { return waits_.empty(); }
    bool full() const { return waits_.size() >= kMostWaits; }
    void add(int line, double ms) {
        total_ += ms;
        waits_.push_back({line, total_});
    }
    // Runs the span; false (the reason printed with the wait's line) if the firmware stopped.
    bool run(sim::PanelHarness& panel, const std::string& name) {
        if (waits_.empty()) {
            return true;
        }
        const double start = panel.nowMs();
        const bool stopped = panel.runUntilMs(start + total_) == sim::StopReason::Halted;
        int line = waits_.back().line;
        for (const Wait& wait : waits_) {
            if (start + wait.end >= panel.nowMs()) {
                line = wait.line;
                break;
            }
        }
        waits_.clear();
        total_ = 0;
        if (stopped) {
            std::fprintf(stderr, "%s:%d: the firmware stopped: %s\n", name.c_str(), line,
                         panel.core().haltReason().c_str());
        }
        return !stopped;
    }

  private:
    struct Wait {
        int line;
        double end;  // ms from the start of the span
    };
    std::vector<Wait> waits_;
    double total_ = 0;
};

}  // namespace

int RunScriptCommand(Session& session, const ScriptCommand& c, const std::string& name,
                     std::string* error) {
    using Kind = ScriptCommand::Kind;
    sim::PanelHarness& panel = session.panel;
    sim::Board& board = panel.board();
    const auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        } else {
            std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), c.line, why.c_str());
        }
        return 1;
    };
    const auto run = [&](double ms) {
        return panel.runForMs(ms) != sim::StopReason::Halted;
    };
    const auto stopped = [&] {
        return fail("the firmware stopped: " + panel.core().haltReason());
    };
    switch (c.kind) {
        case Kind::Wait:
            if (!run(c.ms)) {
                return stopped();
            }
            break;
        case Kind::Touch:
            sim::TouchOf(board).press(c.x, c.y);
            break;
        case Kind::Release:
            sim::TouchOf(board).release();
            break;
        case Kind::Tap:
            sim::TouchOf(board).press(c.x, c.y);
            if (!run(c.ms)) {
                return stopped();
            }
            sim::TouchOf(board).release();
            if (!run(kDefaultHoldMs)) {
                return stopped();
            }
            break;
        case Kind::Screenshot: {
            std::string error;
            if (!sim::DisplayOf(board).savePng(c.file, &error)) {
                return fail("cannot save " + c.file + ": " + error);
            }
            break;
        }
        case Kind::ExpectPixel: {
            const uint32_t actual = sim::DisplayOf(board).screenRgb(c.x, c.y);
            if (actual != c.rgb) {
                char why[100];
                std::snprintf(why, sizeof(why), "pixel (%d, %d) is %06X, expected %06X", c.x,
                              c.y, actual, c.rgb);
                return fail(why);
            }
            break;
        }
        case Kind::Status:
            std::printf("%s\n", StatusLine(session).c_str());
            break;
        case Kind::Scenario: {
            std::istringstream arguments(c.text);
            std::string command;
            arguments >> command;
            std::string error;
            ScenarioCommand(session, command, arguments, error);
            if (!error.empty()) {
                return fail(error);
            }
            break;
        }
        case Kind::Workbench: {
            std::string why;
            if (!session.bench.runCommand(c.words, why)) {
                return fail(why);
            }
            break;
        }
    }
    return 0;
}

int RunScript(Session& session, const ScriptSource& source, const std::string& name) {
    sim::PanelHarness& panel = session.panel;
    const std::unique_ptr<std::istream> text = source.open();
    if (!text) {
        std::fprintf(stderr, "%s: cannot be read again\n", name.c_str());
        return 1;
    }
    ScriptReader reader(*text, name);
    ScriptLine line;
    WaitRun waits;
    while (reader.next(line)) {
        ScriptCommand c;
        try {
            c = ParseCommand(line, false);
        } catch (const cli::UsageError& e) {  // the file changed since it was checked
            std::fprintf(stderr, "%s%s\n", reader.where(line.number).c_str(), e.message.c_str());
            return 1;
        }
        if (c.kind == ScriptCommand::Kind::Wait) {
            waits.add(c.line, c.ms);
            if (waits.full() && !waits.run(panel, name)) {
                return 1;
            }
            continue;
        }
        if (!waits.run(panel, name)) {
            return 1;
        }
        if (const int result = RunScriptCommand(session, c, name, nullptr); result != 0) {
            return result;
        }
    }
    if (!reader.error().empty()) {
        std::fprintf(stderr, "%s\n", reader.error().c_str());
        return 1;
    }
    return waits.run(panel, name) ? 0 : 1;
}

}  // namespace app
