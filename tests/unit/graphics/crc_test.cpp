// CRC-16/MODBUS of the Modbus frames.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/hmi.hpp"

namespace {

TEST(Crc16, CheckValueAndKnownFrames) {
    const char* digits = "123456789";
    EXPECT_EQ(CRC16(reinterpret_cast<const uint8_t*>(digits), 9), 0x4B37);
    // The read request for registers 98-119 of slave 1 ends in DA 65 (low byte first: 65 DA).
    const uint8_t read[] = {0x01, 0x03, 0x00, 0x62, 0x00, 0x16};
    EXPECT_EQ(CRC16(read, sizeof(read)), 0xDA65);
    const uint8_t writeAnswer[] = {0x01, 0x10, 0x00, 0x62, 0x00, 0x16};
    EXPECT_EQ(CRC16(writeAnswer, sizeof(writeAnswer)), 0x19E0);
    EXPECT_EQ(CRC16(read, 0), 0xFFFF);
}

TEST(Crc16, TableIsTheStandardOne) {
    EXPECT_EQ(wCRCTable[0], 0x0000);
    EXPECT_EQ(wCRCTable[1], 0xC0C1);
    EXPECT_EQ(wCRCTable[128], 0xA001);
    EXPECT_EQ(wCRCTable[255], 0x4040);
}

}  // namespace
