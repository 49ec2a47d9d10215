// Every test, unit or scenario, ends with no board warnings left: something the firmware did that
// the board does not model, or a character lost on the serial line, fails the run. A test that
// provokes warnings on purpose takes them with sim::TakeBoardWarnings() and checks them itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board.hpp"

namespace {

std::vector<std::string> g_offenders;

class WarningsListener : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& test) override {
        const uint64_t notKept = sim::BoardWarningsNotKept();
        const std::vector<sim::BoardWarning> left = sim::TakeBoardWarnings();
        if (left.empty()) {
            return;  // none kept means none were dropped either
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
