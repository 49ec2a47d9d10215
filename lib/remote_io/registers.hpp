// The register map of the project being built (generated from its description), and the ways
// to name a register: by its address, its tool name or its firmware variable.
#pragma once

#include <cstddef>
#include <string_view>

#include "module_registers.hpp"
#include "register_types.hpp"

namespace remote_io {

constexpr uint8_t kSlaveAddress = kDevice.slave;
constexpr uint16_t kFirstRegister = kDevice.firstRegister;
constexpr int kRegisterCount = kDevice.registerCount;
constexpr uint16_t kLastRegister = static_cast<uint16_t>(kFirstRegister + kRegisterCount - 1);
static_assert(sizeof(kRegisters) / sizeof(kRegisters[0]) == static_cast<size_t>(kRegisterCount));

// Block indexes (0 .. kRegisterCount - 1), or -1 when no register answers to the name. Names
// compare without regard to case: "do1", "DO1" and "Dev_1_AO10" or "DEV_1_AO10".
int IndexOfAddress(long address);
int IndexOfTool(std::string_view name);
int IndexOfVariable(std::string_view name);
// Any of the three: a decimal address ("108"), a tool name or a variable name.
int FindRegister(std::string_view name);

// "98-119", for messages that say which addresses there are.
std::string_view AddressRange();

}  // namespace remote_io
