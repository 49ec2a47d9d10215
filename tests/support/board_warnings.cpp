// Every test, unit or scenario, ends with no board warnings left: something the firmware did that
// the board does not model, or a character lost on the serial line, fails the run. A test that
// provokes warnings on purpose takes them from its board (board.warnings().take()) and checks
// them itself. A board hands what is left to WarningsLeftBehind() when it goes, which this file
// defines for the tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board.hpp"
#include "support/fresh_board.hpp"

namespace {

std::mutex g_leftLock;
std::vector<sim::BoardWarning> g_left;
uint64_t g_leftNotKept = 0;
std::vector<std::string> g_offenders;

class WarningsListener : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& test) override {
        ReleaseFreshBoard();
        std::vector<sim::BoardWarning> left;
        uint64_t notKept = 0;
        {
            const std::lock_guard<std::mutex> lock(g_leftLock);
            left.swap(g_left);
            notKept = std::exchange(g_leftNotKept, 0);
        }
        if (left.empty() && notKept == 0) {
            return;
        }
        const std::string name = std::string(test.test_suite_name()) + "." + test.name();
        // The first ones say what went wrong; a lost exchange repeats the same thing.
        constexpr size_t kShown = 10;
        for (size_t i = 0; i < left.size() && i < kShown; ++i) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), sim::Describe(left[i]).c_str());
        }
        const uint64_t total = left.size() + notKept;
        if (total > kShown) {
            std::fprintf(stderr, "%s: ... and %llu more board warnings\n", name.c_str(),
                         static_cast<unsigned long long>(total - kShown));
        }
        g_offenders.push_back(name + " (" + std::to_string(total) + " board warnings)");
    }
};

// A failure in an environment's tear-down fails the whole run; the listener above has already
// printed each warning under the name of the test that left it.
class WarningsCheck : public testing::Environment {
    void TearDown() override {
        for (const std::string& offender : g_offenders) {
            ADD_FAILURE() << offender;
        }
    }
};

const bool g_installed = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new WarningsListener);
    testing::AddGlobalTestEnvironment(new WarningsCheck);
    return true;
}();

}  // namespace

namespace sim {
void WarningsLeftBehind(std::vector<BoardWarning> warnings, uint64_t notKept) {
    const std::lock_guard<std::mutex> lock(g_leftLock);
    for (BoardWarning& warning : warnings) {
        g_left.push_back(std::move(warning));
    }
    g_leftNotKept += notKept;
}
}  // namespace sim

