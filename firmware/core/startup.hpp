// Vector table, stack and the fixed exception handlers.
#pragma once

#include <cstdint>

constexpr uint32_t kStackBytes = 4096;
constexpr uint32_t kVectorCount = 60;

extern uint32_t pulStack[kStackBytes / sizeof(uint32_t)];

using VectorEntry = void (*)();
extern const VectorEntry g_pfnVectors[kVectorCount];

void ResetISR();
void NmiSR();
void FaultISR();
void IntDefaultHandler();
