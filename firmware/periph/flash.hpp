// Flash controller: timing and the (uncommitted) protection of 2 KB blocks.
#pragma once

#include <cstdint>

enum class FlashProtection : uint32_t {
    ReadWrite = 0,
    ReadOnly = 1,     // readable and executable, not programmable or erasable
    ExecuteOnly = 2,  // executable only
};

// Sets the protection of the 2 KB block holding address until the next reset. Returns 0, or -1
// when the address is outside flash, the block is not readable, or the change would loosen
// protection (which only a reset can do).
int32_t FlashProtectSet(uint32_t address, FlashProtection protection);

// Tells the flash controller the processor clock in MHz.
void FlashUsecSet(uint32_t clockMHz);
uint32_t FlashUsecGet();
