#include "link/mbrtum.hpp"

#include <cstring>

#include "graphics/hmi.hpp"
#include "link/hmi_uart.hpp"

namespace {

constexpr uint32_t kFrameBufferSize = 256;
constexpr uint32_t kWriteAnswerLength = 8;
constexpr uint32_t kReadRequestLength = 8;
constexpr uint32_t kReadAnswerHeader = 3;  // slave, function, byte count

uint32_t PutWord(uint8_t* frame, uint32_t at, uint16_t word) {
    frame[at] = static_cast<uint8_t>(word >> 8);
    frame[at + 1] = static_cast<uint8_t>(word);
    return at + 2;
}

// Appends the CRC of the first length bytes, low byte first; returns the new length.
uint32_t AppendCrc(uint8_t* frame, uint32_t length) {
    const uint16_t crc = CRC16(frame, static_cast<uint16_t>(length));
    frame[length] = static_cast<uint8_t>(crc);
    frame[length + 1] = static_cast<uint8_t>(crc >> 8);
    return length + 2;
}

bool CrcFollows(const uint8_t* frame, uint32_t length) {
    const uint16_t crc = CRC16(frame, static_cast<uint16_t>(length));
    return frame[length] == static_cast<uint8_t>(crc) &&
           frame[length + 1] == static_cast<uint8_t>(crc >> 8);
}

}  // namespace

uint32_t mrm_WriteAO(uint32_t handle, uint8_t slave, uint16_t address, int32_t count,
                     const uint16_t* values) {
    if (count <= 0 || count > mbrtum::kMaxWriteRegisters) {
        return 0;
    }
    uint8_t request[kFrameBufferSize];
    uint32_t length = 0;
    request[length++] = slave;
    if (count == 1) {
        request[length++] = mbrtum::kWriteSingleRegister;
        length = PutWord(request, length, address);
        length = PutWord(request, length, values[0]);
    } else {
        request[length++] = mbrtum::kWriteMultipleRegisters;
        length = PutWord(request, length, address);
        length = PutWord(request, length, static_cast<uint16_t>(count));
        request[length++] = static_cast<uint8_t>(2 * count);
        for (int32_t i = 0; i < count; ++i) {
            length = PutWord(request, length, values[i]);
        }
    }
    length = AppendCrc(request, length);

    uint8_t answer[kWriteAnswerLength];
    std::memset(answer, 0, sizeof(answer));
    if (uart_BinSendCmd(handle, request, length, answer, kWriteAnswerLength) == 0) {
        return 0;
    }
    if (answer[0] != request[0] || answer[1] != request[1]) {
        return 0;
    }
    return CrcFollows(answer, 6) ? 1 : 0;
}

uint32_t mrm_ReadAIO(uint32_t handle, uint8_t slave, uint8_t function, uint16_t address,
                     int32_t count, uint16_t* values) {
    if (count <= 0 || count > mbrtum::kMaxReadRegisters) {
        return 0;
    }
    uint8_t request[kReadRequestLength];
    request[0] = slave;
    request[1] = function;
    PutWord(request, 2, address);
    PutWord(request, 4, static_cast<uint16_t>(count));
    AppendCrc(request, 6);

    const auto expected = static_cast<uint32_t>(5 + 2 * count);
    uint8_t answer[kFrameBufferSize];
    std::memset(answer, 0, 5);
    if (uart_BinSendCmd(handle, request, kReadRequestLength, answer, expected) == 0) {
        return 0;
    }
    if (answer[0] != slave || answer[1] != function) {
        return 0;
    }
    // The answer must declare exactly the registers asked for: a shorter one would have the
    // missing values taken from the bytes after its CRC (line noise reported as success), a
    // longer one would have its CRC compared with bytes of no exchange.
    const uint32_t declared = answer[2];
    if (declared != 2 * static_cast<uint32_t>(count)) {
        return 0;
    }
    if (!CrcFollows(answer, kReadAnswerHeader + declared)) {
        return 0;
    }
    for (int32_t i = 0; i < count; ++i) {
        values[i] = static_cast<uint16_t>((answer[kReadAnswerHeader + 2 * i] << 8) |
                                          answer[kReadAnswerHeader + 2 * i + 1]);
    }
    return 1;
}
