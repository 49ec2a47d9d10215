// SysTick and interrupt-controller operations against the core models.
#include <gtest/gtest.h>

#include "periph/cpu.hpp"
#include "periph/hw_regs.hpp"
#include "periph/interrupt.hpp"
#include "periph/sysctl.hpp"
#include "periph/systick.hpp"
#include "support/fresh_board.hpp"

namespace {

TEST(InterruptController, PeripheralNumbersMapToTheirEnableBits) {
    sim::Board& board = FreshBoard();
    IntEnable(hw::irq::kUart1);                 // peripheral 6
    IntEnable(hw::irq::kTimer2B);               // peripheral 24
    IntEnable(hw::irq::kFirstPeripheral + 40);  // peripheral 40: second register
    EXPECT_EQ(board.nvic().enabled(), (1ull << 6) | (1ull << 24) | (1ull << 40));
    IntDisable(hw::irq::kTimer2B);
    EXPECT_EQ(board.nvic().enabled(), (1ull << 6) | (1ull << 40));
}

TEST(InterruptController, SysTickNumberSwitchesTheTickInterrupt) {
    sim::Board& board = FreshBoard();
    IntEnable(hw::irq::kSysTick);
    EXPECT_TRUE(board.systick().interruptEnabled());
    IntDisable(hw::irq::kSysTick);
    EXPECT_FALSE(board.systick().interruptEnabled());
}

TEST(InterruptController, MasterMaskReportsThePreviousState) {
    FreshBoard();
    EXPECT_EQ(IntMasterDisable(), 0u);
    EXPECT_TRUE(FreshCore().interruptsMasked());
    EXPECT_EQ(IntMasterDisable(), 1u);
    EXPECT_EQ(IntMasterEnable(), 1u);
    EXPECT_FALSE(FreshCore().interruptsMasked());
    EXPECT_EQ(IntMasterEnable(), 0u);
}

TEST(InterruptController, AMaskedInterruptWaitsForTheMaskToLift) {
    sim::Board& board = FreshBoard();
    IntMasterDisable();
    board.nvic().pendSysTick();
    SysCtlDelay(10);  // sim points, but the mask holds the tick off
    EXPECT_EQ(FreshCore().exceptionsTaken(15), 0u);
    IntMasterEnable();
    EXPECT_EQ(FreshCore().exceptionsTaken(15), 1u) << "taken right after unmasking";
}

TEST(SysTickTimer, PeriodIsReloadPlusOneProcessorClocks) {
    sim::Board& board = FreshBoard();
    SysTickPeriodSet(1000);
    EXPECT_EQ(board.systick().reload(), 999u);
    EXPECT_EQ(SysTickPeriodGet(), 1000u);
    SysTickEnable();
    const sim::Cycles start = board.scheduler().now();
    SysCtlDelay(1000);  // 3000 cycles
    const auto& wraps = board.systick().wrapCycles();
    ASSERT_GE(wraps.size(), 2u);
    EXPECT_EQ(wraps[1] - wraps[0], 1000u);
    EXPECT_LE(wraps[0] - start, 1002u);
    EXPECT_EQ(FreshCore().exceptionsTaken(15), 0u) << "no tick interrupt without TICKINT";
    SysTickIntEnable();
    SysCtlDelay(1000);
    EXPECT_GE(FreshCore().exceptionsTaken(15), 2u);
}

TEST(SysTickTimer, CurrentValueCountsDown) {
    sim::Board& board = FreshBoard();
    SysTickPeriodSet(100000);
    SysTickEnable();
    const uint32_t first = HWREG(hw::systick::kCurrent);
    SysCtlDelay(100);
    const uint32_t second = HWREG(hw::systick::kCurrent);
    EXPECT_LT(second, first);
    EXPECT_NEAR(static_cast<double>(first - second), 302.0, 4.0);
    (void)board;
}

}  // namespace
