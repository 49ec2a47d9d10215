// Panel services of the source file hmi: the drawing wrappers that generated screen code calls,
// and the Modbus CRC routine.
#pragma once

#include <array>
#include <cstdint>

#include "graphics/context.hpp"

// Wrappers in the form generated screen code uses (graphics library).
void hmi_SetForeground(DrawContext* context, uint32_t rgb);
void hmi_FillRect(DrawContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void hmi_DrawRect(DrawContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// CRC-16/MODBUS: initial 0xFFFF, reflected polynomial 0xA001, no final inversion.
namespace crc16_detail {
constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (uint32_t index = 0; index < 256; ++index) {
        uint32_t crc = index;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xA001u : crc >> 1;
        }
        table[index] = static_cast<uint16_t>(crc);
    }
    return table;
}
}  // namespace crc16_detail

// The byte-wise table of the CRC, computed at compile time (one copy in program memory).
inline constexpr std::array<uint16_t, 256> wCRCTable = crc16_detail::MakeTable();

uint16_t CRC16(const uint8_t* data, uint16_t length);
