// Process variables: the record every shown, edited or exchanged value lives in, and the six
// operations on it. Records are static; the operations take no lock and check nothing (every
// caller runs on the main loop and passes a valid record).
#pragma once

#include <cstdint>

struct VarRecord;

using VarDisplayProc = void (*)(VarRecord* variable);

struct VarRecord {
    int32_t value;
    int32_t last_value;  // value at the start of the last output pass
    uint8_t spare;
    uint8_t dirty;    // changed since last read with var_get
    uint8_t command;  // pending pulse command of the output pass
    uint8_t flags;    // VAR_FLAG_WRITE, VAR_FLAG_LOCAL
    VarDisplayProc display_proc;
};

// A value set from the panel is still to be written to the remote module.
constexpr uint8_t VAR_FLAG_WRITE = 1u << 0;
// The variable is internal to the panel (the output pass changes it with var_set).
constexpr uint8_t VAR_FLAG_LOCAL = 1u << 1;

namespace pvar_layout {
constexpr bool kPointers32 = sizeof(void*) == 4;
}
static_assert(!pvar_layout::kPointers32 || sizeof(VarRecord) == 16);

// Clears dirty, then returns the value.
int32_t var_get(VarRecord* variable);
// A changing value is stored and marks the record dirty.
void var_set(VarRecord* variable, int32_t value);
// As var_set, and a changing value also requests a write to the remote module.
void var_set_write_data(VarRecord* variable, int32_t value);
// Returns the write request (0 or 1) and clears it.
uint32_t var_flag_is_write(VarRecord* variable);
uint32_t var_is_dirty(VarRecord* variable);
// Calls the display procedure if a screen attached one; leaves dirty alone.
void var_display(VarRecord* variable);
