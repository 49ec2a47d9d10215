// The simulated board for fuzz targets that run firmware against its peripherals: made once per
// process (the firmware's globals are its state), with the processor at 50 MHz.
#pragma once

#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"

namespace fuzz {

inline sim::Board& Board() {
    static sim::Board& board = []() -> sim::Board& {
        sim::Board& b = FreshBoard();
        SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
        return b;
    }();
    return board;
}

// Lets virtual time pass on the processor (the delay loop: three cycles per count).
inline void WaitMs(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) {
        SysCtlDelay(50'000 / 3);
    }
}

}  // namespace fuzz
