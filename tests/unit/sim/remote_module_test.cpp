// The remote I/O module model: its Modbus slave, its process and its injected faults.
#include <gtest/gtest.h>

#include <vector>

#include "process.hpp"
#include "remote_module.hpp"
#include "support/scripted_peer.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

class Line : public sim::SerialPort {
  public:
    void receiveFromPeer(uint8_t byte) override { bytes.push_back(byte); }
    Bytes bytes;
};

class ModuleModel : public ::testing::Test {
  protected:
    ModuleModel() : scheduler_(50'000'000), module_(scheduler_) { module_.attached(&line_); }
    // Sends a frame to the module and returns what came back within 300 ms.
    Bytes exchange(const Bytes& request) {
        line_.bytes.clear();
        for (uint8_t byte : request) {
            scheduler_.advance(scheduler_.cyclesFor(87 * sim::kPsPerUs));
            module_.receiveFromPanel(byte);
        }
        scheduler_.advance(scheduler_.cyclesFor(300 * sim::kPsPerMs));
        return line_.bytes;
    }
    Bytes read(uint16_t first, uint16_t count, uint8_t slave = 1) {
        return exchange(WithCrc({slave, 3, static_cast<uint8_t>(first >> 8),
                                 static_cast<uint8_t>(first), 0, static_cast<uint8_t>(count)}));
    }
    sim::Scheduler scheduler_;
    sim::RemoteModule module_;
    Line line_;
};

TEST_F(ModuleModel, ReadsAndWritesHoldingRegisters98To119) {
    module_.process().setRunning(false);
    module_.process().set(0, 0x0102);
    module_.process().set(21, 0x0A0B);
    EXPECT_EQ(read(98, 22), WithCrc([] {
                  Bytes b = {1, 3, 44, 1, 2};
                  b.resize(3 + 42, 0);
                  b.push_back(0x0A);
                  b.push_back(0x0B);
                  return b;
              }()));

    const Bytes single = WithCrc({1, 6, 0, 108, 0, 1});
    EXPECT_EQ(exchange(single), single) << "function 6 echoes the request";
    EXPECT_EQ(module_.process().read(10), 1);

    Bytes multiple = {1, 16, 0, 110, 0, 2, 4, 0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(exchange(WithCrc(multiple)), WithCrc({1, 16, 0, 110, 0, 2}));
    EXPECT_EQ(module_.process().read(12), 0x1234);
    EXPECT_EQ(module_.process().read(13), 0x5678);
    EXPECT_EQ(module_.requests(3), 1u);
    EXPECT_EQ(module_.requests(6), 1u);
    EXPECT_EQ(module_.requests(16), 1u);
}

TEST_F(ModuleModel, ExceptionAnswersAndSilence) {
    EXPECT_EQ(exchange(WithCrc({1, 4, 0, 98, 0, 1})), WithCrc({1, 0x84, 1})) << "illegal function";
    EXPECT_EQ(read(97, 2), WithCrc({1, 0x83, 2})) << "illegal address";
    EXPECT_EQ(read(98, 23), WithCrc({1, 0x83, 2}));
    EXPECT_EQ(read(98, 0), WithCrc({1, 0x83, 3})) << "illegal value";
    EXPECT_EQ(exchange(WithCrc({1, 16, 0, 98, 0, 2, 3, 0, 0, 0, 0})), WithCrc({1, 0x90, 3}));
    EXPECT_TRUE(read(98, 22, 2).empty()) << "another slave's request";
    Bytes corrupt = WithCrc({1, 3, 0, 98, 0, 22});
    corrupt[7] ^= 1;
    EXPECT_TRUE(exchange(corrupt).empty()) << "a damaged request";
}

TEST_F(ModuleModel, InjectedFaultsShapeTheAnswer) {
    module_.process().setRunning(false);
    const Bytes good = read(98, 22);
    ASSERT_EQ(good.size(), 49u);
    const auto withFault = [this](sim::ModuleFault fault) {
        module_.setFault(fault, 1);
        return read(98, 22);
    };
    EXPECT_TRUE(withFault(sim::ModuleFault::Silence).empty());
    Bytes answer = withFault(sim::ModuleFault::BadCrc);
    EXPECT_EQ(Bytes(answer.begin(), answer.end() - 2), Bytes(good.begin(), good.end() - 2));
    EXPECT_NE(answer, good);
    answer = withFault(sim::ModuleFault::WrongAddress);
    EXPECT_EQ(answer[0], 2);
    EXPECT_EQ(answer, WithCrc(Bytes(answer.begin(), answer.end() - 2))) << "good CRC";
    answer = withFault(sim::ModuleFault::WrongFunction);
    EXPECT_NE(answer[1], 3);
    EXPECT_EQ(answer, WithCrc(Bytes(answer.begin(), answer.end() - 2)));
    EXPECT_EQ(withFault(sim::ModuleFault::Exception), WithCrc({1, 0x83, 4}));
    EXPECT_EQ(withFault(sim::ModuleFault::Truncated).size(), 24u);
    answer = withFault(sim::ModuleFault::Noise);
    ASSERT_EQ(answer.size(), 52u);
    EXPECT_EQ(Bytes(answer.begin() + 3, answer.end()), good);
    EXPECT_EQ(read(98, 22), good) << "a fault for one answer is gone after it";

    module_.setFault(sim::ModuleFault::Late, 1);
    line_.bytes.clear();
    const Bytes request = WithCrc({1, 3, 0, 98, 0, 22});
    for (uint8_t byte : request) {
        module_.receiveFromPanel(byte);
    }
    scheduler_.advance(scheduler_.cyclesFor(240 * sim::kPsPerMs));
    EXPECT_TRUE(line_.bytes.empty()) << "not before the master's time-out";
    scheduler_.advance(scheduler_.cyclesFor(20 * sim::kPsPerMs));
    EXPECT_EQ(line_.bytes, good);
}

TEST(ModuleProcess, InputsMoveOutputsHoldRequestsAreLogged) {
    remote_io::Process process;
    process.advanceTo(0.2);
    const auto early = process.registers();
    process.write(10, 1, 0.2);
    process.advanceTo(7.3);
    EXPECT_EQ(process.read(10), 1) << "an output holds what was written";
    int moved = 0;
    for (int i = 0; i < remote_io::kRegisterCount; ++i) {
        if (remote_io::IsInput(i) && process.read(i) != early[static_cast<size_t>(i)]) {
            ++moved;
        }
    }
    EXPECT_GE(moved, 8) << "inputs, counters and analogue values change with time";
    for (int i = 16; i < 20; ++i) {
        EXPECT_LE(process.read(i), 1000);
    }

    process.write(20, 1, 8.0);
    EXPECT_TRUE(process.events().empty());
    process.write(20, 1, 8.1);
    process.write(20, 0, 8.2);
    process.write(21, 0, 8.3);  // no request without a 1 first
    process.write(21, 1, 8.4);
    process.write(21, 0, 8.5);
    ASSERT_EQ(process.events().size(), 2u);
    EXPECT_EQ(process.events()[0].kind, remote_io::Event::Kind::Sms);
    EXPECT_DOUBLE_EQ(process.events()[0].seconds, 8.2);
    EXPECT_EQ(process.events()[1].kind, remote_io::Event::Kind::Email);

    process.setRunning(false);
    process.set(3, 77);
    process.advanceTo(100);
    EXPECT_EQ(process.read(3), 77) << "a stopped process leaves its inputs alone";
}

}  // namespace

namespace {

// A register named by its address, its tool name or its variable, in any case; the demo's map.
TEST(ModuleRegisters, AreFoundByAddressToolNameOrVariable) {
    const struct {
        const char* name;
        int index;
    } kCases[] = {
        {"108", 10},        {"DO1", 10},        {"do1", 10},    {"Dev_1_AO10", 10},
        {"DEV_1_AO10", 10}, {"98", 0},          {"STATUS_LED", 0}, {"119", 21},
        {"mail", 21},       {"Dev_1_AO21", 21}, {"97", -1},     {"120", -1},
        {"", -1},           {"DO9", -1},        {"Dev_1_AO22", -1}, {"STATUS LED", -1},
        {"0108", 10},       {"108x", -1},       {"99999999", -1},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(remote_io::FindRegister(c.name), c.index) << "'" << c.name << "'";
    }
    EXPECT_EQ(remote_io::IndexOfTool("Dev_1_AO10"), -1) << "a variable is no tool name";
    EXPECT_EQ(remote_io::IndexOfVariable("DO1"), -1) << "a tool name is no variable";
    EXPECT_EQ(remote_io::AddressRange(), "98-119");
    for (int i = 0; i < remote_io::kRegisterCount; ++i) {
        EXPECT_EQ(remote_io::kRegisters[i].address, remote_io::kFirstRegister + i);
        EXPECT_EQ(remote_io::kRegisters[i].variable, "Dev_1_AO" + std::to_string(i));
    }
}

}  // namespace
