#include "project/ladder.hpp"

#include "project/ladder_varo_ldx.hpp"

int32_t ladder_main(int32_t arg) {
    (void)ladder_varo_ldx(arg);
    return 1;
}
