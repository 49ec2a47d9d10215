#include "project/ladder_varo_ldx.hpp"

int32_t ladder_varo_ldx(int32_t) {
    return 0;
}
