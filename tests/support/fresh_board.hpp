// Unit-test support: a fresh simulated board whose processor is the test thread, with the
// firmware's vector table installed (so interrupts reach the firmware's own handlers).
#pragma once

#include "board.hpp"
#include "core/startup.hpp"

inline sim::Board& FreshBoard(const sim::BoardConfig& config = {}) {
    sim::Board& board = sim::Board::reset(config);
    board.setVectorTable(g_pfnVectors, kVectorCount);
    return board;
}
