// The Modbus CRC routine of the hmi services (the wrappers for screen code are in hmi.cpp).
#include "graphics/hmi.hpp"

uint16_t CRC16(const uint8_t* data, uint16_t length) {
    uint16_t crc = 0xFFFF;
    for (uint16_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(wCRCTable[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8));
    }
    return crc;
}
