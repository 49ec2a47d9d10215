#include "script.hpp"

#include <cstdio>
#include <istream>

#include "cli.hpp"
#include "workbench.hpp"

namespace app {

bool CheckScript(std::istream& script, const std::string& name, const CommandContext& context,
                 std::string& error) {
    ScriptReader reader(script, name);
    ScriptLine line;
    while (reader.next(line)) {
        try {
            (void)ParseCommand(line.words, context);
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

int RunScript(Session& session, const ScriptSource& source, const std::string& name) {
    sim::PanelHarness& panel = session.panel;
    const std::unique_ptr<std::istream> text = source.open();
    if (!text) {
        std::fprintf(stderr, "%s: cannot be read again\n", name.c_str());
        return 1;
    }
    const CommandContext context{false, session.bench.hasModule()};
    ScriptReader reader(*text, name);
    ScriptLine line;
    WaitRun waits;
    while (reader.next(line)) {
        Command c;
        try {
            c = ParseCommand(line.words, context);
        } catch (const cli::UsageError& e) {  // the file changed since it was checked
            std::fprintf(stderr, "%s%s\n", reader.where(line.number).c_str(), e.message.c_str());
            return 1;
        }
        if (IsWait(c)) {
            waits.add(line.number, c.ms);
            if (waits.full() && !waits.run(panel, name)) {
                return 1;
            }
            continue;
        }
        if (!waits.run(panel, name)) {
            return 1;
        }
        const CommandResult result = RunCommand(session, c);
        std::fputs(result.output.c_str(), stdout);
        if (!result.ok) {
            std::fprintf(stderr, "%s%s\n", reader.where(line.number).c_str(), result.error.c_str());
            return 1;
        }
    }
    if (!reader.error().empty()) {
        std::fprintf(stderr, "%s\n", reader.error().c_str());
        return 1;
    }
    return waits.run(panel, name) ? 0 : 1;
}

}  // namespace app
