// The peripheral models that each board carries beyond the core ones the Board sets up itself
// (system control, flash, core, GPIO). Each model attaches to the bus here.
#include "board.hpp"
#include "remote_module.hpp"
#include "uart.hpp"

namespace sim {

void AttachPeripheralModels(Board& board) {
    // UART1 (clock gate RCGC1 bit 1) with the remote I/O module plugged into its line.
    board.attach<Uart>(Uart::kBase, 0x1000, 1, 1, board.scheduler(), board.nvic(), board.gpio('D'))
        .plug(std::make_unique<RemoteModule>(board.scheduler()));
}

}  // namespace sim
