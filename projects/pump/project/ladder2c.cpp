#include "project/ladder2c.hpp"

#include "project/_dict.hpp"
#include "vars/pvar.hpp"

namespace {

// Internal variables change without a write to the module; remote registers request one.
void SetForOutput(VarRecord* variable, int32_t value) {
    if ((variable->flags & VAR_FLAG_LOCAL) != 0) {
        var_set(variable, value);
    } else {
        var_set_write_data(variable, value);
    }
}

// One step of a pulse: 1 drives the value through 1 back to 0, 2 through 0 back to 1; the
// ending states wait until the value reads back as the pulse's resting level.
void StepCommand(VarRecord* variable) {
    const bool set = variable->value != 0;
    switch (variable->command) {
        case kVarCommandPositivePulse:
            if (set) {
                SetForOutput(variable, 0);
                variable->last_value = 1;
                variable->command = kVarCommandPositivePulseEnding;
            } else {
                SetForOutput(variable, 1);
                variable->last_value = 0;
            }
            break;
        case kVarCommandNegativePulse:
            if (set) {
                SetForOutput(variable, 0);
                variable->last_value = 1;
            } else {
                SetForOutput(variable, 1);
                variable->last_value = 0;
                variable->command = kVarCommandNegativePulseEnding;
            }
            break;
        case kVarCommandPositivePulseEnding:
            if (!set) {
                variable->command = kVarCommandNone;
            } else if ((variable->flags & VAR_FLAG_LOCAL) != 0) {
                var_set_write_data(variable, 0);
            }
            break;
        case kVarCommandNegativePulseEnding:
            if (set) {
                variable->command = kVarCommandNone;
            } else if ((variable->flags & VAR_FLAG_LOCAL) != 0) {
                var_set_write_data(variable, 1);
            }
            break;
        default:
            break;
    }
}

}  // namespace

int32_t default_output(int32_t) {
    for (uint32_t i = 0; i < __var_count(); ++i) {
        __var_table[i]->last_value = __var_table[i]->value;
    }
    for (uint32_t i = 0; i < __var_count(); ++i) {
        if (var_is_dirty(__var_table[i]) != 0) {
            var_display(__var_table[i]);
        }
    }
    for (uint32_t i = 0; i < __var_count(); ++i) {
        StepCommand(__var_table[i]);
    }
    return 0;
}

int32_t default_input(int32_t) {
    return 0;
}
