// The UART1 model: character timing, FIFO levels and interrupts, pins, and a line that cannot
// carry what the firmware configured.
#include <gtest/gtest.h>

#include <vector>

#include "periph/cpu.hpp"
#include "periph/gpio.hpp"
#include "periph/hw_regs.hpp"
#include "periph/sysctl.hpp"
#include "periph/uart.hpp"
#include "support/board_warnings.hpp"
#include "support/fresh_board.hpp"
#include "support/scripted_peer.hpp"

namespace {

using namespace hw::uart;

class Uart1Model : public ::testing::Test {
  protected:
    void SetUp() override {
        board_ = &FreshBoard();
        SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
        SysCtlPeripheralEnable(sysctl::kGpioD);
        GPIOPinTypeUART(hw::gpio::kPortD, 0x0C);
        SysCtlPeripheralEnable(sysctl::kUart1);
    }
    void configure(uint32_t baud, uint32_t lcrh) {
        UARTConfigSetExpClk(kUart1, SysCtlClockGet(), baud, lcrh);
    }
    void waitUs(double us) { SysCtlDelay(static_cast<uint32_t>(us * 50 / 3)); }
    sim::Uart& uart() { return sim::Uart1(*board_); }
    sim::Board* board_ = nullptr;
};

TEST_F(Uart1Model, CharactersTakeTheirFrameTimeAtTheConfiguredRate) {
    sim::LineFormat slow;
    slow.baud = 9600;
    slow.parity = 'E';
    slow.dataBits = 7;
    slow.stopBits = 2;
    ScriptedPeer peer(*board_, slow);
    configure(9600, 0x4E);  // 7 bits, even parity, two stop bits
    const double start = board_->nowMs();
    HWREG(kUart1 + kDr) = 0x41;
    HWREG(kUart1 + kDr) = 0x42;
    EXPECT_NE(HWREG(kUart1 + kFr) & kFrBusy, 0u);
    while ((HWREG(kUart1 + kFr) & kFrBusy) != 0) {
    }
    EXPECT_NEAR(board_->nowMs() - start, 2 * 11 / 9.6, 0.01) << "1 + 7 + 1 + 2 bits each";
    waitUs(3000);
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0], (std::vector<uint8_t>{0x41, 0x42}));
    EXPECT_TRUE(uart().lineErrors().empty());
}

TEST_F(Uart1Model, TransmitFifoHoldsSixteenAndSignalsWhenDrainedToItsLevel) {
    ScriptedPeer peer(*board_);
    configure(115200, 0x60);
    UARTFIFOLevelSet(kUart1, kFifoTx1_8, kFifoRx1_8);
    int accepted = 0;
    while (UARTCharPutNonBlocking(kUart1, static_cast<uint8_t>(accepted))) {
        ++accepted;
    }
    EXPECT_EQ(accepted, 17) << "one in the shift register, sixteen in the FIFO";
    EXPECT_EQ(UARTIntStatus(kUart1, false) & kIntTx, 0u);
    while ((UARTIntStatus(kUart1, false) & kIntTx) == 0) {
    }
    // Set when the FIFO drained to 2 characters: 14 left it, plus the first one shifted out.
    EXPECT_EQ(uart().charactersSent(), 14u);
    UARTIntClear(kUart1, kIntTx);
    EXPECT_EQ(UARTIntStatus(kUart1, false) & kIntTx, 0u);
}

TEST_F(Uart1Model, ReceiveLevelAndTimeOut) {
    ScriptedPeer peer(*board_);
    configure(115200, 0x60);
    UARTFIFOLevelSet(kUart1, kFifoTx1_8, kFifoRx1_8);
    peer.send({0x11});
    waitUs(90);
    EXPECT_TRUE(UARTCharsAvail(kUart1));
    EXPECT_EQ(UARTIntStatus(kUart1, false) & (kIntRx | kIntRxTimeout), 0u)
        << "one character is below the level";
    waitUs(32 * 8.7);
    EXPECT_EQ(UARTIntStatus(kUart1, false) & kIntRxTimeout, kIntRxTimeout)
        << "32 bit periods without a new character";
    EXPECT_EQ(UARTCharGetNonBlocking(kUart1), 0x11);
    EXPECT_EQ(UARTIntStatus(kUart1, false) & kIntRxTimeout, 0u) << "cleared once emptied";
    EXPECT_EQ(UARTCharGetNonBlocking(kUart1), -1);

    peer.send({0x22, 0x33});
    waitUs(180);
    EXPECT_EQ(UARTIntStatus(kUart1, false) & kIntRx, kIntRx) << "two reach the 1/8 level";
    EXPECT_EQ(UARTIntStatus(kUart1, true), 0u) << "masked: no source enabled";
    UARTIntEnable(kUart1, kIntRx);
    EXPECT_EQ(UARTIntStatus(kUart1, true), kIntRx);

    std::vector<uint8_t> flood(20, 0x5A);
    peer.send(flood);
    waitUs(20 * 87 + 10);
    EXPECT_EQ(uart().receiveOverruns(), 6u) << "16-character FIFO, two already in it";
    const std::vector<std::string> dropped = TakeWarnings(*board_, sim::WarningKind::CharacterDropped);
    ASSERT_EQ(dropped.size(), 6u) << "each lost character is a board warning";
    EXPECT_NE(dropped[0].find("overrun"), std::string::npos) << dropped[0];
}

TEST_F(Uart1Model, ALineThatCannotCarryTheConfigurationIsReportedAndGarbles) {
    ScriptedPeer peer(*board_);  // 115200 8N1
    configure(9600, 0x60);
    HWREG(kUart1 + kDr) = 0x55;
    waitUs(3000);
    EXPECT_EQ(peer.bytesReceived(), 0u) << "the peer sees only noise";
    ASSERT_EQ(uart().lineErrors().size(), 1u);
    EXPECT_NE(uart().lineErrors()[0].what.find("115200 8N1"), std::string::npos);

    peer.send({0x66});
    waitUs(200);
    const uint32_t received = HWREG(kUart1 + kDr);
    EXPECT_EQ(received & 0xFFu, 0x66u);
    EXPECT_NE(received & 0x100u, 0u) << "framing error";

    configure(115200, 0x66);  // right rate, wrong parity
    HWREG(kUart1 + kDr) = 0x55;
    waitUs(300);
    EXPECT_EQ(peer.bytesReceived(), 0u);
    EXPECT_EQ(uart().lineErrors().size(), 2u);
    EXPECT_NE(uart().lineErrors()[1].what.find("8E1"), std::string::npos);
    const std::vector<std::string> dropped = TakeWarnings(*board_, sim::WarningKind::CharacterDropped);
    ASSERT_EQ(dropped.size(), 2u) << "both characters sent as noise";
    EXPECT_NE(dropped[1].find("8E1"), std::string::npos) << dropped[1];
}

TEST_F(Uart1Model, NothingReachesTheLineThroughPinsNotGivenToTheUart) {
    ScriptedPeer peer(*board_);
    configure(115200, 0x60);
    GPIOPinTypeGPIOOutput(hw::gpio::kPortD, 0x08);
    HWREG(kUart1 + kDr) = 0x55;
    waitUs(300);
    EXPECT_EQ(peer.bytesReceived(), 0u);
    EXPECT_EQ(uart().charactersLost(), 1u);
    GPIOPinTypeGPIOInput(hw::gpio::kPortD, 0x04);
    peer.send({0x12});
    waitUs(300);
    EXPECT_FALSE(UARTCharsAvail(kUart1));
    const std::vector<std::string> dropped = TakeWarnings(*board_, sim::WarningKind::CharacterDropped);
    ASSERT_EQ(dropped.size(), 2u);
    EXPECT_NE(dropped[0].find("transmit pin"), std::string::npos) << dropped[0];
    EXPECT_NE(dropped[1].find("receive pin"), std::string::npos) << dropped[1];
}

TEST(Uart1Gate, AccessWhileGatedFaults) {
    sim::Board& board = FreshBoard();
    const uint32_t flags = HWREG(kUart1 + kFr);
    (void)flags;
    ASSERT_EQ(board.faults().size(), 1u);
    EXPECT_NE(board.faults()[0].what.find("UART1"), std::string::npos);
}

}  // namespace
