// Modbus RTU master: one request, one answer, no retries. Results: 1 success, 0 failure.
#pragma once

#include <cstdint>

namespace mbrtum {
// The frame buffers hold 256 bytes; these are also the protocol's limits for the functions.
constexpr int32_t kMaxWriteRegisters = 123;
constexpr int32_t kMaxReadRegisters = 125;
constexpr uint8_t kWriteSingleRegister = 6;
constexpr uint8_t kWriteMultipleRegisters = 16;
}  // namespace mbrtum

// Writes count registers from address on: function 6 for one register, 16 for more.
uint32_t mrm_WriteAO(uint32_t handle, uint8_t slave, uint16_t address, int32_t count,
                     const uint16_t* values);
// Reads count registers with the given function; values are stored only on success.
uint32_t mrm_ReadAIO(uint32_t handle, uint8_t slave, uint8_t function, uint16_t address,
                     int32_t count, uint16_t* values);
