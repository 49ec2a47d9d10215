// The project's ladder routine (this project has no ladder logic).
#pragma once

#include <cstdint>

int32_t ladder_varo_ldx(int32_t arg);
