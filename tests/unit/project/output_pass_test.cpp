// The dictionary and the output pass of the control cycle: snapshot, repaint, pulse commands.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/ladder.hpp"
#include "project/ladder2c.hpp"
#include "vars/pvar.hpp"

namespace {

struct Step {
    int32_t value;
    uint8_t command;
    uint8_t writeFlag;
};

// Runs output passes and records the value, command and write request after each one (the
// write request is consumed, as the poller would).
std::vector<Step> RunPasses(VarRecord& v, int passes) {
    std::vector<Step> steps;
    for (int i = 0; i < passes; ++i) {
        EXPECT_EQ(default_output(1), 0);
        const uint8_t write = static_cast<uint8_t>(var_flag_is_write(&v));
        steps.push_back({v.value, v.command, write});
    }
    return steps;
}

void ExpectSteps(const std::vector<Step>& actual, const std::vector<Step>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].value, expected[i].value) << "pass " << i + 1;
        EXPECT_EQ(actual[i].command, expected[i].command) << "pass " << i + 1;
        EXPECT_EQ(actual[i].writeFlag, expected[i].writeFlag) << "pass " << i + 1;
    }
}

class OutputPass : public ::testing::Test {
  protected:
    void SetUp() override { var_table_init(); }
};

TEST(Dictionary, TwentyNineVariablesInTableOrderWithTheirInitialImages) {
    ASSERT_EQ(__var_table[0], nullptr) << "empty until the first frame is entered";
    ASSERT_EQ(table_init_flag, 0u);
    var_table_init();
    EXPECT_EQ(table_init_flag, 1u);
    ASSERT_EQ(__var_count(), 29u);

    VarRecord* const remote[22] = {&Dev_1_AO0,  &Dev_1_AO1,  &Dev_1_AO2,  &Dev_1_AO3,  &Dev_1_AO4,
                                   &Dev_1_AO5,  &Dev_1_AO6,  &Dev_1_AO7,  &Dev_1_AO8,  &Dev_1_AO9,
                                   &Dev_1_AO10, &Dev_1_AO11, &Dev_1_AO12, &Dev_1_AO13, &Dev_1_AO14,
                                   &Dev_1_AO15, &Dev_1_AO16, &Dev_1_AO17, &Dev_1_AO18, &Dev_1_AO19,
                                   &Dev_1_AO20, &Dev_1_AO21};
    for (uint32_t i = 0; i < 22; ++i) {
        EXPECT_EQ(__var_table[i], remote[i]) << i;
        const VarRecord zero = {};
        EXPECT_EQ(std::memcmp(remote[i], &zero, sizeof(zero)), 0) << i;
    }
    struct Local {
        VarRecord* v;
        int32_t initial;
    };
    const Local local[7] = {
        {&Dev_1_ENABLE_AO, 1},     {&Dev_1_R_ACTION, 1},  {&Dev_1_W_ACTION, 1}, {&Dev_1_ERROR, 0},
        {&Dev_1_ENABLE_DEVICE, 1}, {&Dev_1_ADDR_BASE, 0}, {&start, 0}};
    for (uint32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(__var_table[22 + i], local[i].v) << 22 + i;
        EXPECT_EQ(local[i].v->value, local[i].initial) << 22 + i;
        EXPECT_EQ(local[i].v->flags, VAR_FLAG_LOCAL) << 22 + i;
        EXPECT_EQ(local[i].v->dirty | local[i].v->command | local[i].v->last_value, 0);
        EXPECT_EQ(local[i].v->display_proc, nullptr);
    }
    for (uint32_t i = 0; i < 29; ++i) {
        EXPECT_NE(__var_table[i], &__UNDEFINED__);
    }
}

TEST_F(OutputPass, RemembersEveryValueBeforeActingOnCommands) {
    Dev_1_AO5.value = 1234;
    Dev_1_ERROR.value = 1;
    start.value = 0;
    start.command = kVarCommandPositivePulse;
    default_output(1);
    EXPECT_EQ(Dev_1_AO5.last_value, 1234);
    EXPECT_EQ(Dev_1_ERROR.last_value, 1);
    EXPECT_EQ(Dev_1_ENABLE_DEVICE.last_value, 1);
    EXPECT_EQ(start.value, 1);
    EXPECT_EQ(start.last_value, 0) << "the command step sets last_value after the snapshot";
}

TEST_F(OutputPass, PositivePulseOfARemoteRegisterFromZeroTakesThreePasses) {
    Dev_1_AO12.command = kVarCommandPositivePulse;
    ExpectSteps(RunPasses(Dev_1_AO12, 4), {{1, 1, 1}, {0, 11, 1}, {0, 0, 0}, {0, 0, 0}});
    EXPECT_EQ(Dev_1_AO12.dirty, 1) << "changes of the pass are painted in the next one";
}

TEST_F(OutputPass, PositivePulseFromASetValueEndsAtOnce) {
    Dev_1_AO12.value = 5;
    Dev_1_AO12.command = kVarCommandPositivePulse;
    ExpectSteps(RunPasses(Dev_1_AO12, 2), {{0, 11, 1}, {0, 0, 0}});
    EXPECT_EQ(Dev_1_AO12.last_value, 0);
}

TEST_F(OutputPass, EndingStateOfARemoteRegisterWaitsForTheModuleToReadBack) {
    Dev_1_AO13.command = kVarCommandPositivePulse;
    Dev_1_AO13.value = 1;
    default_output(1);
    ASSERT_EQ(Dev_1_AO13.command, kVarCommandPositivePulseEnding);
    (void)var_flag_is_write(&Dev_1_AO13);
    var_set(&Dev_1_AO13, 1);  // the module has not taken the 0 yet
    ExpectSteps(RunPasses(Dev_1_AO13, 2), {{1, 11, 0}, {1, 11, 0}});
    var_set(&Dev_1_AO13, 0);
    ExpectSteps(RunPasses(Dev_1_AO13, 1), {{0, 0, 0}});
}

TEST_F(OutputPass, NegativePulseOfARemoteRegisterFromZeroAndFromOne) {
    Dev_1_AO14.command = kVarCommandNegativePulse;
    ExpectSteps(RunPasses(Dev_1_AO14, 3), {{1, 12, 1}, {1, 0, 0}, {1, 0, 0}});

    Dev_1_AO15.value = 1;
    Dev_1_AO15.command = kVarCommandNegativePulse;
    ExpectSteps(RunPasses(Dev_1_AO15, 4), {{0, 2, 1}, {1, 12, 1}, {1, 0, 0}, {1, 0, 0}});
}

TEST_F(OutputPass, PulsesOfAnInternalVariableNeverRequestAWrite) {
    start.command = kVarCommandPositivePulse;
    ExpectSteps(RunPasses(start, 3), {{1, 1, 0}, {0, 11, 0}, {0, 0, 0}});
    start.command = kVarCommandNegativePulse;
    ExpectSteps(RunPasses(start, 2), {{1, 12, 0}, {1, 0, 0}});
}

TEST_F(OutputPass, EndingStatesOfAnInternalVariableForceTheRestingLevel) {
    // Something else holds the value away from the resting level: the ending state writes it.
    start.value = 3;
    start.command = kVarCommandPositivePulseEnding;
    ExpectSteps(RunPasses(start, 2), {{0, 11, 1}, {0, 0, 0}});
    start.value = 0;
    start.command = kVarCommandNegativePulseEnding;
    ExpectSteps(RunPasses(start, 2), {{1, 12, 1}, {1, 0, 0}});
}

TEST_F(OutputPass, UnknownCommandsAreLeftAlone) {
    Dev_1_AO3.command = 7;
    Dev_1_AO3.value = 9;
    ExpectSteps(RunPasses(Dev_1_AO3, 2), {{9, 7, 0}, {9, 7, 0}});
}

int g_paints = 0;
int32_t g_paintedValue = 0;
void PaintAO7(VarRecord* v) {
    ++g_paints;
    g_paintedValue = var_get(v);
}

TEST_F(OutputPass, AChangeWhileNoScreenShowsItIsPaintedOnceAfterAScreenAttaches) {
    var_set(&Dev_1_AO7, 321);
    for (int i = 0; i < 3; ++i) {
        default_output(1);
        EXPECT_EQ(Dev_1_AO7.dirty, 1) << "pass " << i;
    }
    Dev_1_AO7.display_proc = PaintAO7;
    default_output(1);
    EXPECT_EQ(g_paints, 1);
    EXPECT_EQ(g_paintedValue, 321);
    default_output(1);
    default_output(1);
    EXPECT_EQ(g_paints, 1) << "painted once, not on every pass";
    var_set(&Dev_1_AO7, 322);
    default_output(1);
    EXPECT_EQ(g_paints, 2);
    EXPECT_EQ(g_paintedValue, 322);
}

TEST_F(OutputPass, LadderAndInputHooksChangeNoVariable) {
    Dev_1_AO4.value = 17;
    Dev_1_AO4.dirty = 1;
    std::vector<VarRecord> before;
    for (uint32_t i = 0; i < __var_count(); ++i) {
        before.push_back(*__var_table[i]);
    }
    EXPECT_EQ(ladder_main(1), 1);
    EXPECT_EQ(default_input(1), 0);
    for (uint32_t i = 0; i < __var_count(); ++i) {
        EXPECT_EQ(std::memcmp(&before[i], __var_table[i], sizeof(VarRecord)), 0) << i;
    }
}

}  // namespace
