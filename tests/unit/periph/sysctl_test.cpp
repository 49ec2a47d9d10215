// Clock configuration, peripheral gates and flash protection against the system-control model.
#include "periph/sysctl.hpp"

#include <gtest/gtest.h>

#include "periph/cpu.hpp"
#include "periph/flash.hpp"
#include "periph/hw_regs.hpp"
#include "support/fresh_board.hpp"

namespace {

TEST(SysCtlClock, TheStartUpConfigurationRunsThePartAt50MHz) {
    sim::Board& board = FreshBoard();
    EXPECT_EQ(board.sysctl().clockHz(), 12'000'000u) << "out of reset: the internal oscillator";
    EXPECT_EQ(SysCtlClockGet(), 12'000'000u);

    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
    EXPECT_EQ(board.sysctl().clockHz(), 50'000'000u) << "the model's clock, computed from RCC";
    EXPECT_EQ(SysCtlClockGet(), 50'000'000u) << "the library's view agrees";
    EXPECT_TRUE(board.sysctl().pllLocked());
    EXPECT_TRUE(board.faults().empty());
}

TEST(SysCtlClock, ConfigurationWordsGiveTheDividedFrequencies) {
    EXPECT_EQ(sysctl::ClockFromRcc(0x01C00380), 50'000'000u);
    EXPECT_EQ(sysctl::ClockFromRcc(0x078E3AD1), 12'000'000u);  // reset value
    // PLL with divider 9 (SYSDIV field 9): 20 MHz.
    EXPECT_EQ(sysctl::ClockFromRcc((9u << 23) | (1u << 22) | (0xEu << 6)), 20'000'000u);
    // PLL bypassed, 8 MHz crystal, divided by 2.
    EXPECT_EQ(sysctl::ClockFromRcc((1u << 23) | (1u << 22) | (1u << 11) | (0xEu << 6)), 4'000'000u);
}

TEST(SysCtlClock, AMisstatedCrystalGivesTheFrequencyTheHardwareWouldRunAt) {
    // The XTAL field claims 6 MHz while the board carries 8 MHz: the PLL runs 4/3 fast, and
    // 200 MHz * 8/6 / 5 = 53.3 MHz overclocks the part, which the model reports.
    sim::Board& board = FreshBoard();
    SysCtlClockSet((4u << 23) | (1u << 22) | (0xBu << 6));
    EXPECT_EQ(SysCtlClockGet(), 40'000'000u) << "the library believes the field";
    ASSERT_FALSE(board.faults().empty());
    EXPECT_NE(board.faults().back().what.find("50 MHz"), std::string::npos);
}

TEST(SysCtlGates, AccessToAGatedPeripheralIsAFault) {
    sim::Board& board = FreshBoard();
    const uint32_t direction = HWREG(hw::gpio::kPortA + hw::gpio::kDir);
    EXPECT_EQ(direction, 0u) << "a faulting load reads nothing";
    ASSERT_EQ(board.faults().size(), 1u);
    EXPECT_NE(board.faults()[0].what.find("clock is gated"), std::string::npos);

    SysCtlPeripheralEnable(sysctl::kGpioA);
    HWREG(hw::gpio::kPortA + hw::gpio::kDir) = 0x0F;
    EXPECT_EQ(board.faults().size(), 1u);
    EXPECT_EQ(board.gpio('A').direction(), 0x0F);
    EXPECT_TRUE(board.sysctl().clockEnabled(2, 0));
    EXPECT_FALSE(board.sysctl().clockEnabled(2, 1)) << "only the requested gate opens";
}

TEST(SysCtlGates, PresenceFollowsTheBoard) {
    sim::BoardConfig config;
    config.sysctl.uart1Present = false;
    FreshBoard(config);
    EXPECT_EQ(SysCtlPeripheralPresent(sysctl::kUart1), 0u);
    EXPECT_EQ(SysCtlPeripheralPresent(sysctl::kGpioG), 1u);
    EXPECT_EQ(SysCtlPeripheralPresent(sysctl::kTimer2), 1u);
    EXPECT_EQ(SysCtlPeripheralPresent(sysctl::kAdc0), 1u);
}

TEST(FlashProtection, ReadOnlyBlocksRefuseProgrammingUntilReset) {
    sim::Board& board = FreshBoard();
    EXPECT_EQ(FlashProtectSet(0x0800, FlashProtection::ReadOnly), 0);
    EXPECT_FALSE(board.flash().programmable(0x0800));
    EXPECT_FALSE(board.flash().programmable(0x0FFF));
    EXPECT_TRUE(board.flash().programmable(0x0000));
    EXPECT_TRUE(board.flash().readable(0x0800));

    EXPECT_EQ(FlashProtectSet(0x0800, FlashProtection::ReadWrite), -1) << "only a reset loosens it";
    EXPECT_EQ(FlashProtectSet(0x40000, FlashProtection::ReadOnly), -1) << "outside flash";

    EXPECT_EQ(FlashProtectSet(0x3F400, FlashProtection::ExecuteOnly), 0);
    EXPECT_FALSE(board.flash().readable(0x3F400));
    EXPECT_EQ(FlashProtectSet(0x3F400, FlashProtection::ReadOnly), -1)
        << "the block is not readable";
    // The block at 0x3F400 is block 126: register 3, bit 30.
    EXPECT_EQ(board.debugRead(hw::sysctl::kFmppe0 + 12) & (1u << 30), 0u);
}

TEST(FlashTiming, UsecSetStoresTheClockInMHzMinusOne) {
    sim::Board& board = FreshBoard();
    FlashUsecSet(50);
    EXPECT_EQ(board.sysctl().flashUsec(), 49u);
    EXPECT_EQ(FlashUsecGet(), 50u);
}

}  // namespace
