// Moving bytes: the transmit ring through the UART onto the line, answers through the receive
// interrupt into the ring, the read time-out.
#include <gtest/gtest.h>

#include <vector>

#include "link/hmi_uart.hpp"
#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"
#include "support/scripted_peer.hpp"

namespace {

class SerialPort : public ::testing::Test {
  protected:
    void SetUp() override {
        board_ = &FreshBoard();
        SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
        peer_ = std::make_unique<ScriptedPeer>(*board_);
        ASSERT_EQ(uart_Open("COM0,115200,N,8,1"), 0u);
    }
    double now() const { return board_->nowMs(); }
    // Lets virtual time pass on the test thread (the processor).
    void waitMs(double ms) { SysCtlDelay(static_cast<uint32_t>(ms * 50'000 / 3)); }

    sim::Board* board_ = nullptr;
    std::unique_ptr<ScriptedPeer> peer_;
};

TEST_F(SerialPort, WriteHandsEveryByteToTheLineAtTheBaudRate) {
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 7);
    }
    const double start = now();
    EXPECT_EQ(uart_BinWrite(0, data.data(), static_cast<uint32_t>(data.size())), 1u);
    // On return at most a FIFO's worth is still to go out.
    const double returned = now() - start;
    EXPECT_GT(returned, (300 - 18) * 10 / 115.2);
    waitMs(5);
    ASSERT_EQ(peer_->requests().size(), 1u) << "one frame: no gap between the bytes";
    EXPECT_EQ(peer_->requests()[0], data) << "300 bytes pass the 255-byte ring in order";
    const double lineMs = 300 * 10 / 115.2;
    EXPECT_NEAR(peer_->requestTimes()[0] - 1.75 - start, lineMs, 0.2);
    EXPECT_EQ(g_ulUARTTxReadIndex, g_ulUARTTxWriteIndex);
}

TEST_F(SerialPort, WritingNothingReturnsAtOnce) {
    const double start = now();
    const uint8_t none = 0;
    EXPECT_EQ(uart_BinWrite(0, &none, 0), 1u);
    EXPECT_LT(now() - start, 0.01);
    waitMs(3);
    EXPECT_EQ(peer_->bytesReceived(), 0u);
}

TEST_F(SerialPort, ReadCollectsAnAnswerThroughTheInterrupt) {
    const std::vector<uint8_t> answer = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    peer_->send(answer);
    uint8_t buffer[13] = {};
    const double start = now();
    EXPECT_EQ(uart_BinRead(0, buffer, sizeof(buffer)), 1u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 13), answer);
    // The last (odd) byte sits below the FIFO level until the receive time-out collects it.
    EXPECT_NEAR(now() - start, 13 * 10 / 115.2, 1.1);
    EXPECT_GT(FreshCore().exceptionsTaken(16 + sim::Uart::kIrq), 0u);
}

TEST_F(SerialPort, AShortAnswerTimesOutAfterAbout200msAndKeepsItsBytes) {
    peer_->send({0xA1, 0xA2, 0xA3, 0xA4, 0xA5});
    uint8_t buffer[8] = {};
    const double start = now();
    EXPECT_EQ(uart_BinRead(0, buffer, sizeof(buffer)), 0u);
    const double waited = now() - start;
    EXPECT_GT(waited, 200.0);
    EXPECT_LT(waited, 203.0) << "one budget of 200 one-millisecond waits, plus one";
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 5),
              (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
    EXPECT_EQ(buffer[5], 0);
}

TEST_F(SerialPort, TheBudgetIsNotReloadedByBytesThatTrickleIn) {
    // One byte every 150 ms: each alone would be in time, together they exceed the budget.
    for (int i = 0; i < 3; ++i) {
        auto& s = board_->scheduler();
        s.after(s.cyclesFor(static_cast<sim::Picoseconds>(150 * (i + 1)) * sim::kPsPerMs),
                [this, i] { peer_->send({static_cast<uint8_t>(0x10 + i)}); });
    }
    uint8_t buffer[3] = {};
    const double start = now();
    EXPECT_EQ(uart_BinRead(0, buffer, 3), 0u);
    EXPECT_NEAR(now() - start, 201.0, 2.0);
    EXPECT_EQ(buffer[0], 0x10);
}

TEST_F(SerialPort, SendCommandDiscardsWhatArrivedBefore) {
    peer_->send({0xEE, 0xEE, 0xEE});
    waitMs(2);
    peer_->setScript([](const std::vector<uint8_t>& request) {
        return std::vector<uint8_t>{static_cast<uint8_t>(request[0] + 1)};
    });
    const uint8_t request[] = {0x41};
    uint8_t response = 0;
    EXPECT_EQ(uart_BinSendCmd(0, request, 1, &response, 1), 1u);
    EXPECT_EQ(response, 0x42);
}

TEST_F(SerialPort, AFullReceiveRingDropsFurtherBytes) {
    std::vector<uint8_t> flood(300);
    for (size_t i = 0; i < flood.size(); ++i) {
        flood[i] = static_cast<uint8_t>(i);
    }
    peer_->send(flood);
    waitMs(30);
    EXPECT_EQ((g_ulUARTRxWriteIndex - g_ulUARTRxReadIndex) & 0xFFu, 255u) << "255 bytes at most";
    std::vector<uint8_t> buffer(255);
    EXPECT_EQ(uart_BinRead(0, buffer.data(), 255), 1u);
    EXPECT_EQ(buffer.front(), 0);
    EXPECT_EQ(buffer.back(), 254) << "the first 255 kept, the rest dropped";
    EXPECT_EQ(sim::Uart1(*board_).receiveOverruns(), 0u) << "the UART itself kept up";
}

TEST_F(SerialPort, TextModeEndsAtALineEndAndTerminates) {
    peer_->send({'o', 'k', '\r', 'x', 'y', 'z', 'w'});
    uint8_t text[8];
    std::fill(std::begin(text), std::end(text), 0x55);
    EXPECT_EQ(UARTgets(text, sizeof(text), 1), 2u);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "ok");
    uint8_t small[3];
    EXPECT_EQ(UARTgets(small, sizeof(small), 1), 2u) << "room for two and the terminator";
    EXPECT_STREQ(reinterpret_cast<char*>(small), "xy");
}

}  // namespace
