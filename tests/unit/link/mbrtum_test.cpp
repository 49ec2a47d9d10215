// The Modbus RTU master against a scripted slave: frames byte for byte, and every way an
// answer can fail.
#include <gtest/gtest.h>

#include <vector>

#include "link/hmi_uart.hpp"
#include "link/mbrtum.hpp"
#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"
#include "support/scripted_peer.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kFirst = 98;
constexpr int32_t kCount = 22;

// A correct read answer for registers kFirst.. holding 0x0100 * i + i.
Bytes ReadAnswer(int32_t count, uint8_t slave = 1, uint8_t function = 3) {
    Bytes answer = {slave, function, static_cast<uint8_t>(2 * count)};
    for (int32_t i = 0; i < count; ++i) {
        answer.push_back(static_cast<uint8_t>(i));
        answer.push_back(static_cast<uint8_t>(0x80 + i));
    }
    return WithCrc(answer);
}

class ModbusMaster : public ::testing::Test {
  protected:
    void SetUp() override {
        board_ = &FreshBoard();
        SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
        peer_ = std::make_unique<ScriptedPeer>(*board_);
        uart_Open("COM0,115200,N,8,1");
    }
    void answerWith(Bytes answer) {
        peer_->setScript([answer](const Bytes&) { return answer; });
    }
    // A read of the poller's block; values start as a sentinel pattern.
    uint32_t read() {
        for (auto& v : values_) {
            v = 0xBEEF;
        }
        return mrm_ReadAIO(0, 1, 3, kFirst, kCount, values_);
    }
    bool valuesUntouched() const {
        for (uint16_t v : values_) {
            if (v != 0xBEEF) {
                return false;
            }
        }
        return true;
    }
    void waitMs(double ms) { SysCtlDelay(static_cast<uint32_t>(ms * 50'000 / 3)); }

    sim::Board* board_ = nullptr;
    std::unique_ptr<ScriptedPeer> peer_;
    uint16_t values_[kCount] = {};
};

TEST_F(ModbusMaster, ReadRequestIsByteExactAndTheAnswerIsStoredBigEndian) {
    answerWith(ReadAnswer(kCount));
    EXPECT_EQ(read(), 1u);
    ASSERT_EQ(peer_->requests().size(), 1u);
    EXPECT_EQ(peer_->requests()[0], (Bytes{0x01, 0x03, 0x00, 0x62, 0x00, 0x16, 0x65, 0xDA}));
    for (int32_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(values_[i], (i << 8) | (0x80 + i)) << i;
    }
}

TEST_F(ModbusMaster, WriteOfTheBlockIsOneFunction16RequestOf53Bytes) {
    uint16_t block[kCount];
    for (int32_t i = 0; i < kCount; ++i) {
        block[i] = static_cast<uint16_t>(0x1234 + i * 0x0101);
    }
    answerWith({0x01, 0x10, 0x00, 0x62, 0x00, 0x16, 0xE0, 0x19});
    EXPECT_EQ(mrm_WriteAO(0, 1, kFirst, kCount, block), 1u);
    ASSERT_EQ(peer_->requests().size(), 1u);
    const Bytes& request = peer_->requests()[0];
    ASSERT_EQ(request.size(), 53u);
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 7),
              (Bytes{0x01, 0x10, 0x00, 0x62, 0x00, 0x16, 0x2C}));
    for (int32_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(request[7 + 2 * i], block[i] >> 8);
        EXPECT_EQ(request[8 + 2 * i], block[i] & 0xFF);
    }
    EXPECT_EQ(WithCrc(Bytes(request.begin(), request.end() - 2)), request);
}

TEST_F(ModbusMaster, OneRegisterIsWrittenWithFunction6) {
    const uint16_t value = 0xA55A;
    answerWith(WithCrc({0x01, 0x06, 0x00, 0x6C, 0xA5, 0x5A}));
    EXPECT_EQ(mrm_WriteAO(0, 1, 108, 1, &value), 1u);
    ASSERT_EQ(peer_->requests().size(), 1u);
    EXPECT_EQ(peer_->requests()[0], WithCrc({0x01, 0x06, 0x00, 0x6C, 0xA5, 0x5A}));
}

TEST_F(ModbusMaster, AWriteAnswerIsCheckedByAddressFunctionAndCrcOnly) {
    uint16_t block[2] = {1, 2};
    answerWith(WithCrc({0x01, 0x10, 0x12, 0x34, 0x00, 0x07}));  // echoes something else
    EXPECT_EQ(mrm_WriteAO(0, 1, kFirst, 2, block), 1u);
    answerWith(WithCrc({0x02, 0x10, 0x00, 0x62, 0x00, 0x02}));
    EXPECT_EQ(mrm_WriteAO(0, 1, kFirst, 2, block), 0u);
    answerWith(WithCrc({0x01, 0x06, 0x00, 0x62, 0x00, 0x02}));
    EXPECT_EQ(mrm_WriteAO(0, 1, kFirst, 2, block), 0u);
    Bytes bad = WithCrc({0x01, 0x10, 0x00, 0x62, 0x00, 0x02});
    bad[7] ^= 1;
    answerWith(bad);
    EXPECT_EQ(mrm_WriteAO(0, 1, kFirst, 2, block), 0u);
}

TEST_F(ModbusMaster, CountsOutsideTheFrameBuffersAreRefusedWithoutSending) {
    uint16_t block[126] = {};
    answerWith(ReadAnswer(1));
    EXPECT_EQ(mrm_WriteAO(0, 1, kFirst, 0, block), 0u);
    EXPECT_EQ(mrm_WriteAO(0, 1, kFirst, -5, block), 0u);
    EXPECT_EQ(mrm_WriteAO(0, 1, kFirst, 124, block), 0u);
    EXPECT_EQ(mrm_ReadAIO(0, 1, 3, kFirst, 0, block), 0u);
    EXPECT_EQ(mrm_ReadAIO(0, 1, 3, kFirst, 126, block), 0u);
    waitMs(5);
    EXPECT_EQ(peer_->bytesReceived(), 0u);

    // The largest counts fit: 255-byte frames.
    answerWith(WithCrc({0x01, 0x10, 0x00, 0x62, 0x00, 0x7B}));
    EXPECT_EQ(mrm_WriteAO(0, 1, kFirst, 123, block), 1u);
    EXPECT_EQ(peer_->requests().back().size(), 255u);
    answerWith(ReadAnswer(125));
    EXPECT_EQ(mrm_ReadAIO(0, 1, 3, kFirst, 125, block), 1u);
    EXPECT_EQ(block[124], (124 << 8) | ((0x80 + 124) & 0xFF));
}

TEST_F(ModbusMaster, ASilentModuleFailsAfterAbout200msWithPartialBytesKept) {
    const double start = board_->nowMs();
    EXPECT_EQ(read(), 0u);
    EXPECT_NEAR(board_->nowMs() - start, 201.0 + 8 * 10 / 115.2, 1.5);
    EXPECT_TRUE(valuesUntouched());

    answerWith(Bytes{0x01, 0x03, 0x2C, 0x00});  // the start of an answer, then nothing
    EXPECT_EQ(read(), 0u);
    EXPECT_TRUE(valuesUntouched());
    EXPECT_EQ((g_ulUARTRxWriteIndex - g_ulUARTRxReadIndex) & 0xFF, 0u)
        << "the partial answer was taken into the master's buffer";
}

TEST_F(ModbusMaster, WrongSlaveWrongFunctionOrBadCrcFailsAndLeavesTheValues) {
    answerWith(ReadAnswer(kCount, 2, 3));
    EXPECT_EQ(read(), 0u);
    EXPECT_TRUE(valuesUntouched());
    answerWith(ReadAnswer(kCount, 1, 4));
    EXPECT_EQ(read(), 0u);
    EXPECT_TRUE(valuesUntouched());
    Bytes bad = ReadAnswer(kCount);
    bad[10] ^= 0x40;
    answerWith(bad);
    EXPECT_EQ(read(), 0u);
    EXPECT_TRUE(valuesUntouched());
}

TEST_F(ModbusMaster, AnExceptionAnswerIsWaitedOut) {
    answerWith(WithCrc({0x01, 0x83, 0x02}));
    const double start = board_->nowMs();
    EXPECT_EQ(read(), 0u);
    EXPECT_GT(board_->nowMs() - start, 200.0) << "five bytes are not the 49 expected";
    EXPECT_TRUE(valuesUntouched());
}

// Only an answer declaring exactly 2 x count data bytes is a success, whatever the bytes
// after its CRC hold: a short declaration with a matching CRC, padded with noise up to the
// 49 bytes expected, fails and leaves the values.
TEST_F(ModbusMaster, AByteCountOtherThanTwiceTheCountFails) {
    for (const int declared : {0, 1, 40, 42, 43}) {
        Bytes answer = {0x01, 0x03, static_cast<uint8_t>(declared)};
        for (int i = 0; i < declared; ++i) {
            answer.push_back(static_cast<uint8_t>(i));
        }
        answer = WithCrc(answer);
        while (answer.size() < 49) {
            answer.push_back(0x77);
        }
        answerWith(answer);
        EXPECT_EQ(read(), 0u) << "byte count " << declared;
        EXPECT_TRUE(valuesUntouched()) << "byte count " << declared;
    }
    // The same with the CRC at the usual place.
    Bytes wrong = ReadAnswer(kCount);
    wrong[2] = 42;
    answerWith(wrong);
    EXPECT_EQ(read(), 0u);
    // And the example seen on a line: "01 03 00 20 F0" then 44 bytes of noise.
    Bytes noise = {0x01, 0x03, 0x00, 0x20, 0xF0};
    noise.resize(49, 0x5A);
    answerWith(noise);
    EXPECT_EQ(read(), 0u);
    EXPECT_TRUE(valuesUntouched());
}

TEST_F(ModbusMaster, AByteCountBeyondTheReceivedBytesIsRejected) {
    // Declares 50 data bytes: its CRC would lie past the 49 bytes received. Even a CRC that
    // happens to match what is in the buffer there must not make it a success.
    Bytes answer = {0x01, 0x03, 50};
    for (int i = 0; i < 44; ++i) {
        answer.push_back(0);
    }
    answer.push_back(0);
    answer.push_back(0);
    answerWith(answer);
    EXPECT_EQ(read(), 0u);
    EXPECT_TRUE(valuesUntouched());
    Bytes longest = {0x01, 0x03, 0xFF};
    longest.resize(49, 0x11);
    answerWith(longest);
    EXPECT_EQ(read(), 0u);
    EXPECT_TRUE(valuesUntouched());
}

TEST_F(ModbusMaster, ALateAnswerToThePreviousRequestIsFlushedBeforeTheNext) {
    peer_->setReplyDelay(250 * sim::kPsPerMs);
    answerWith(ReadAnswer(kCount, 1, 3));
    EXPECT_EQ(read(), 0u);
    waitMs(100);  // the late answer arrives between the two requests
    ASSERT_GT((g_ulUARTRxWriteIndex - g_ulUARTRxReadIndex) & 0xFF, 0u);

    Bytes second = ReadAnswer(kCount);
    second[3] = 0x55;
    second = WithCrc(Bytes(second.begin(), second.end() - 2));
    peer_->setReplyDelay(sim::kPsPerMs);
    answerWith(second);
    EXPECT_EQ(read(), 1u);
    EXPECT_EQ(values_[0], 0x5580);
}

TEST_F(ModbusMaster, SlaveAddressZeroIsSentAndTimesOut) {
    EXPECT_EQ(mrm_ReadAIO(0, 0, 3, kFirst, kCount, values_), 0u);
    ASSERT_EQ(peer_->requests().size(), 1u);
    EXPECT_EQ(peer_->requests()[0][0], 0);
}

}  // namespace
