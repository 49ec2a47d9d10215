#include "vars/pvar.hpp"

int32_t var_get(VarRecord* variable) {
    variable->dirty = 0;
    return variable->value;
}

void var_set(VarRecord* variable, int32_t value) {
    if (variable->value != value) {
        variable->value = value;
        variable->dirty = 1;
    }
}

void var_set_write_data(VarRecord* variable, int32_t value) {
    // An unchanged value requests nothing: the module already holds it or will be told by the
    // write already pending.
    if (variable->value != value) {
        variable->value = value;
        variable->flags = static_cast<uint8_t>(variable->flags | VAR_FLAG_WRITE);
        variable->dirty = 1;
    }
}

uint32_t var_flag_is_write(VarRecord* variable) {
    const uint32_t pending = variable->flags & VAR_FLAG_WRITE;
    variable->flags = static_cast<uint8_t>(variable->flags & ~VAR_FLAG_WRITE);
    return pending;
}

uint32_t var_is_dirty(VarRecord* variable) {
    return variable->dirty;
}

void var_display(VarRecord* variable) {
    if (variable->display_proc != nullptr) {
        variable->display_proc(variable);
    }
}
