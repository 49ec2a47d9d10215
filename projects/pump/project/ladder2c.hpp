// The I/O hooks around the module exchange of the control cycle.
#pragma once

#include <cstdint>

// Pulse commands of the output pass (VarRecord::command).
constexpr uint8_t kVarCommandNone = 0;
constexpr uint8_t kVarCommandPositivePulse = 1;
constexpr uint8_t kVarCommandNegativePulse = 2;
constexpr uint8_t kVarCommandPositivePulseEnding = 11;
constexpr uint8_t kVarCommandNegativePulseEnding = 12;

// Remembers every value, repaints changed variables and steps pulse commands; always 0.
int32_t default_output(int32_t arg);
// Local inputs (none in this project); always 0.
int32_t default_input(int32_t arg);
