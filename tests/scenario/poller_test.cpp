// The device poller on the running firmware against the remote module model: what each control
// cycle puts on the line.
#include <gtest/gtest.h>

#include <vector>

#include "panel_harness.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "remote_module.hpp"
#include "support/board_warnings.hpp"
#include "support/cycle_probe.hpp"
#include "uart.hpp"
#include "vars/pvar.hpp"
#include "widgets/widget.hpp"

namespace {

using sim::StopReason;
using Bytes = std::vector<uint8_t>;

VarRecord* const kBlock[22] = {&Dev_1_AO0,  &Dev_1_AO1,  &Dev_1_AO2,  &Dev_1_AO3,  &Dev_1_AO4,
                               &Dev_1_AO5,  &Dev_1_AO6,  &Dev_1_AO7,  &Dev_1_AO8,  &Dev_1_AO9,
                               &Dev_1_AO10, &Dev_1_AO11, &Dev_1_AO12, &Dev_1_AO13, &Dev_1_AO14,
                               &Dev_1_AO15, &Dev_1_AO16, &Dev_1_AO17, &Dev_1_AO18, &Dev_1_AO19,
                               &Dev_1_AO20, &Dev_1_AO21};

class Poller : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = &sim::RemoteModuleOf(panel_.board());
        module_->process().setRunning(false);
        for (int i = 0; i < 22; ++i) {
            module_->process().set(i, static_cast<uint16_t>(1000 + i));
        }
        ASSERT_EQ(panel_.runUntil([this] { return panel_.core().idleTurns() > 0; }, 1000.0),
                  StopReason::Condition);
        cycle_probe::Install(panel_.board());
        ASSERT_TRUE(runCycles(2));
    }
    bool runCycles(size_t n) { return cycle_probe::RunCycles(panel_, n); }
    // Frames the module received since the given exchange count.
    std::vector<Bytes> requestsSince(size_t from) const {
        std::vector<Bytes> frames;
        for (size_t i = from; i < module_->exchanges().size(); ++i) {
            frames.push_back(module_->exchanges()[i].request);
        }
        return frames;
    }
    static uint16_t WrittenWord(const Bytes& request, int i) {
        return static_cast<uint16_t>((request[7 + 2 * i] << 8) | request[8 + 2 * i]);
    }

    sim::PanelHarness panel_;
    sim::RemoteModule* module_ = nullptr;
};

TEST_F(Poller, ReadsTheBlockIntoTheVariablesEveryCycle) {
    EXPECT_EQ(Dev_1_ERROR.value, 0);
    for (int i = 0; i < 22; ++i) {
        EXPECT_EQ(kBlock[i]->value, 1000 + i) << i;
    }
    const size_t before = module_->exchanges().size();
    module_->process().set(7, 4242);
    ASSERT_TRUE(runCycles(3));
    const auto frames = requestsSince(before);
    ASSERT_EQ(frames.size(), 3u) << "one exchange per cycle";
    for (const Bytes& frame : frames) {
        EXPECT_EQ(frame, (Bytes{0x01, 0x03, 0x00, 0x62, 0x00, 0x16, 0x65, 0xDA}));
    }
    EXPECT_EQ(Dev_1_AO7.value, 4242);
    EXPECT_EQ(Dev_1_AO7.flags, 0) << "values from the module are never written back";
}

TEST_F(Poller, AnOperatorChangeSendsAllRegistersInOneWriteAndNoReadThatCycle) {
    module_->process().set(5, 555);  // the module changed a register since the last read
    var_set_write_data(&Dev_1_AO10, 1);
    const size_t before = module_->exchanges().size();
    ASSERT_TRUE(runCycles(1));
    auto frames = requestsSince(before);
    ASSERT_EQ(frames.size(), 1u);
    const Bytes& write = frames[0];
    ASSERT_EQ(write.size(), 53u);
    EXPECT_EQ(Bytes(write.begin(), write.begin() + 7),
              (Bytes{0x01, 0x10, 0x00, 0x62, 0x00, 0x16, 0x2C}));
    for (int i = 0; i < 22; ++i) {
        EXPECT_EQ(WrittenWord(write, i), i == 10 ? 1 : 1000 + i) << "the panel's copy of " << i;
    }
    EXPECT_EQ(module_->process().read(10), 1);
    EXPECT_EQ(module_->process().read(5), 1005) << "the panel's older copy overwrote it";
    EXPECT_EQ(Dev_1_ERROR.value, 0);
    EXPECT_EQ(Dev_1_AO10.flags & VAR_FLAG_WRITE, 0);

    ASSERT_TRUE(runCycles(1));
    frames = requestsSince(before + 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][1], 3) << "the cycle after the write reads";
}

TEST_F(Poller, TwoChangesBetweenCyclesShareOneWrite) {
    var_set_write_data(&Dev_1_AO11, 1);
    var_set_write_data(&Dev_1_AO20, 1);
    const size_t before = module_->exchanges().size();
    ASSERT_TRUE(runCycles(2));
    const auto frames = requestsSince(before);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0][1], 16);
    EXPECT_EQ(WrittenWord(frames[0], 11), 1);
    EXPECT_EQ(WrittenWord(frames[0], 20), 1);
    EXPECT_EQ(frames[1][1], 3);

    var_set_write_data(&Dev_1_AO20, 0);
    ASSERT_TRUE(runCycles(1));
    ASSERT_EQ(module_->process().events().size(), 1u) << "the SMS request: 1 then 0";
    EXPECT_EQ(module_->process().events()[0].kind, remote_io::Event::Kind::Sms);
}

TEST_F(Poller, WithWritesDisabledChangesStayMarkedAndEveryCycleReads) {
    Dev_1_W_ACTION.value = 0;
    var_set_write_data(&Dev_1_AO12, 1);
    const size_t before = module_->exchanges().size();
    ASSERT_TRUE(runCycles(3));
    for (const Bytes& frame : requestsSince(before)) {
        EXPECT_EQ(frame[1], 3);
    }
    EXPECT_EQ(requestsSince(before).size(), 3u);
    EXPECT_NE(Dev_1_AO12.flags & VAR_FLAG_WRITE, 0) << "the mark stays";
    EXPECT_EQ(Dev_1_AO12.value, 1012) << "the module's value is shown again";

    Dev_1_W_ACTION.value = 1;
    ASSERT_TRUE(runCycles(1));
    EXPECT_EQ(module_->exchanges().back().request[1], 16) << "the kept mark is sent later";
}

TEST_F(Poller, WithTheDeviceDisabledTheLineStaysSilent) {
    Dev_1_ENABLE_DEVICE.value = 0;
    __UNDEFINED__.value = 77;
    Dev_1_ERROR.value = 1;
    var_set_write_data(&Dev_1_AO13, 1);
    const uint64_t sent = sim::Uart1(panel_.board()).charactersSent();
    const size_t before = module_->exchanges().size();
    ASSERT_TRUE(runCycles(3));
    EXPECT_EQ(sim::Uart1(panel_.board()).charactersSent(), sent);
    EXPECT_EQ(module_->exchanges().size(), before);
    EXPECT_EQ(__UNDEFINED__.value, 77);
    EXPECT_EQ(Dev_1_ERROR.value, 0) << "disabled polling is no failure";
    EXPECT_NE(Dev_1_AO13.flags & VAR_FLAG_WRITE, 0);

    Dev_1_ENABLE_DEVICE.value = 1;
    ASSERT_TRUE(runCycles(1));
    EXPECT_EQ(__UNDEFINED__.value, 0);
}

TEST_F(Poller, WithReadsDisabledTheBlockIsOnlyWritten) {
    Dev_1_R_ACTION.value = 0;
    const size_t before = module_->exchanges().size();
    var_set_write_data(&Dev_1_AO14, 1);
    ASSERT_TRUE(runCycles(3));
    ASSERT_EQ(requestsSince(before).size(), 1u);
    EXPECT_EQ(requestsSince(before)[0][1], 16);
    EXPECT_EQ(Dev_1_AO14.value, 1);
}

TEST_F(Poller, AnUnpluggedModuleSetsTheErrorAfterTheFirstCycleAndValuesStay) {
    sim::Uart1(panel_.board()).unplug();
    ASSERT_TRUE(runCycles(1));
    EXPECT_EQ(Dev_1_ERROR.value, 1);
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(runCycles(1));
        EXPECT_EQ(Dev_1_ERROR.value, 1);
    }
    for (int i = 0; i < 22; ++i) {
        EXPECT_EQ(kBlock[i]->value, 1000 + i) << "the last values read stay";
    }
    EXPECT_FALSE(TakeWarnings(panel_.board(), sim::WarningKind::CharacterDropped).empty())
        << "the requests sent while unplugged are lost";
    sim::Uart1(panel_.board()).connect(module_);
    ASSERT_TRUE(runCycles(2));
    EXPECT_EQ(Dev_1_ERROR.value, 0);
}

TEST_F(Poller, AFailedWriteIsNotRepeatedAndTheModulesValueComesBack) {
    // The module does not hear the write: the change is lost.
    sim::Uart1(panel_.board()).unplug();
    var_set_write_data(&Dev_1_AO15, 1);
    ASSERT_TRUE(runCycles(1));
    EXPECT_EQ(Dev_1_ERROR.value, 1);
    EXPECT_FALSE(TakeWarnings(panel_.board(), sim::WarningKind::CharacterDropped).empty())
        << "the write sent while unplugged is lost";
    sim::Uart1(panel_.board()).connect(module_);
    const size_t before = module_->exchanges().size();
    ASSERT_TRUE(runCycles(1));
    ASSERT_EQ(requestsSince(before).size(), 1u);
    EXPECT_EQ(requestsSince(before)[0][1], 3) << "not written again";
    EXPECT_EQ(Dev_1_ERROR.value, 0);
    EXPECT_EQ(Dev_1_AO15.value, 1015) << "the operator's change is lost";

    // Only the module's answer is lost: the module took the value, and the read shows it.
    module_->setFault(sim::ModuleFault::Silence, 1);
    var_set_write_data(&Dev_1_AO14, 1);
    ASSERT_TRUE(runCycles(1));
    EXPECT_EQ(Dev_1_ERROR.value, 1);
    ASSERT_TRUE(runCycles(1));
    EXPECT_EQ(Dev_1_AO14.value, 1);
}

TEST_F(Poller, EveryInjectedFaultIsAFailedExchangeAndTheNextOneRecovers) {
    const sim::ModuleFault faults[] = {
        sim::ModuleFault::Silence,      sim::ModuleFault::BadCrc,
        sim::ModuleFault::WrongAddress, sim::ModuleFault::WrongFunction,
        sim::ModuleFault::Exception,    sim::ModuleFault::Truncated,
        sim::ModuleFault::Late,         sim::ModuleFault::Noise};
    for (sim::ModuleFault fault : faults) {
        module_->process().set(8, 1);
        module_->setFault(fault, 1);
        ASSERT_TRUE(runCycles(1));
        EXPECT_EQ(Dev_1_ERROR.value, 1) << sim::Describe(fault);
        EXPECT_EQ(Dev_1_AO8.value, 1008) << sim::Describe(fault);
        module_->process().set(8, 1008);
        ASSERT_TRUE(runCycles(1));
        EXPECT_EQ(Dev_1_ERROR.value, 0) << "after " << sim::Describe(fault);
    }
}

}  // namespace
