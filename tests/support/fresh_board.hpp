// Unit-test support: a fresh simulated board whose processor is the test thread (a host core in
// direct use), with the firmware's vector table installed (so interrupts reach the firmware's
// own handlers). The board lives until the next FreshBoard() or the end of the test.
#pragma once

#include "board.hpp"
#include "host_core.hpp"

sim::Board& FreshBoard(const sim::BoardConfig& config = {});
// The processor of the board FreshBoard() made last.
sim::HostCore& FreshCore();
// Ends the board FreshBoard() made (its warnings go to the end-of-test check); the test support
// does so after every test.
void ReleaseFreshBoard();
