#include "project/_dict.hpp"

#include "project/_frame0.hpp"

// Remote registers start at 0 in zero-initialised storage.
VarRecord Dev_1_AO0;
VarRecord Dev_1_AO1;
VarRecord Dev_1_AO2;
VarRecord Dev_1_AO3;
VarRecord Dev_1_AO4;
VarRecord Dev_1_AO5;
VarRecord Dev_1_AO6;
VarRecord Dev_1_AO7;
VarRecord Dev_1_AO8;
VarRecord Dev_1_AO9;
VarRecord Dev_1_AO10;
VarRecord Dev_1_AO11;
VarRecord Dev_1_AO12;
VarRecord Dev_1_AO13;
VarRecord Dev_1_AO14;
VarRecord Dev_1_AO15;
VarRecord Dev_1_AO16;
VarRecord Dev_1_AO17;
VarRecord Dev_1_AO18;
VarRecord Dev_1_AO19;
VarRecord Dev_1_AO20;
VarRecord Dev_1_AO21;

// Internal variables carry VAR_FLAG_LOCAL in their initial image.
VarRecord Dev_1_ENABLE_AO = {1, 0, 0, 0, 0, VAR_FLAG_LOCAL, nullptr};
VarRecord Dev_1_R_ACTION = {1, 0, 0, 0, 0, VAR_FLAG_LOCAL, nullptr};
VarRecord Dev_1_W_ACTION = {1, 0, 0, 0, 0, VAR_FLAG_LOCAL, nullptr};
VarRecord Dev_1_ERROR = {0, 0, 0, 0, 0, VAR_FLAG_LOCAL, nullptr};
VarRecord Dev_1_ENABLE_DEVICE = {1, 0, 0, 0, 0, VAR_FLAG_LOCAL, nullptr};
VarRecord Dev_1_ADDR_BASE = {0, 0, 0, 0, 0, VAR_FLAG_LOCAL, nullptr};
VarRecord start = {0, 0, 0, 0, 0, VAR_FLAG_LOCAL, nullptr};

VarRecord __UNDEFINED__;

VarRecord* __var_table[kVarTableSize];

namespace {
constexpr VarRecord* kDictionary[kVarTableSize] = {
    &Dev_1_AO0,   &Dev_1_AO1,           &Dev_1_AO2,       &Dev_1_AO3,      &Dev_1_AO4,
    &Dev_1_AO5,   &Dev_1_AO6,           &Dev_1_AO7,       &Dev_1_AO8,      &Dev_1_AO9,
    &Dev_1_AO10,  &Dev_1_AO11,          &Dev_1_AO12,      &Dev_1_AO13,     &Dev_1_AO14,
    &Dev_1_AO15,  &Dev_1_AO16,          &Dev_1_AO17,      &Dev_1_AO18,     &Dev_1_AO19,
    &Dev_1_AO20,  &Dev_1_AO21,          &Dev_1_ENABLE_AO, &Dev_1_R_ACTION, &Dev_1_W_ACTION,
    &Dev_1_ERROR, &Dev_1_ENABLE_DEVICE, &Dev_1_ADDR_BASE, &start,
};
}  // namespace

uint32_t __var_count() {
    return kVarTableSize;
}

void var_table_init() {
    table_init_flag = 1;
    for (uint32_t i = 0; i < kVarTableSize; ++i) {
        __var_table[i] = kDictionary[i];
    }
}
