// The project's variable dictionary: its 29 process variables, in table order, and the table
// that generic passes walk.
#pragma once

#include <cstdint>

#include "vars/pvar.hpp"

// Mirrors of the remote module's holding registers 98-119 (Dev_1_AOi is register 98 + i).
extern VarRecord Dev_1_AO0;
extern VarRecord Dev_1_AO1;
extern VarRecord Dev_1_AO2;
extern VarRecord Dev_1_AO3;
extern VarRecord Dev_1_AO4;
extern VarRecord Dev_1_AO5;
extern VarRecord Dev_1_AO6;
extern VarRecord Dev_1_AO7;
extern VarRecord Dev_1_AO8;
extern VarRecord Dev_1_AO9;
extern VarRecord Dev_1_AO10;
extern VarRecord Dev_1_AO11;
extern VarRecord Dev_1_AO12;
extern VarRecord Dev_1_AO13;
extern VarRecord Dev_1_AO14;
extern VarRecord Dev_1_AO15;
extern VarRecord Dev_1_AO16;
extern VarRecord Dev_1_AO17;
extern VarRecord Dev_1_AO18;
extern VarRecord Dev_1_AO19;
extern VarRecord Dev_1_AO20;
extern VarRecord Dev_1_AO21;
// Internal variables of the panel.
extern VarRecord Dev_1_ENABLE_AO;
extern VarRecord Dev_1_R_ACTION;
extern VarRecord Dev_1_W_ACTION;
extern VarRecord Dev_1_ERROR;
extern VarRecord Dev_1_ENABLE_DEVICE;
extern VarRecord Dev_1_ADDR_BASE;
extern VarRecord start;

// Outside the table: the poller clears its value on every poll.
extern VarRecord __UNDEFINED__;

constexpr uint32_t kVarTableSize = 29;
extern VarRecord* __var_table[kVarTableSize];

// Number of dictionary entries.
uint32_t __var_count();
// Sets table_init_flag (releasing the tick's control-cycle requests), then fills the table.
void var_table_init();
