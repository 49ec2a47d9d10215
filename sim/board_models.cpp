// The peripheral models that each board carries beyond the core ones the Board sets up itself
// (system control, flash, core, GPIO). Each model attaches to the bus here.
#include "board.hpp"

namespace sim {

void AttachPeripheralModels(Board& board) {
    (void)board;  // UART1, timers, ADC and the display bus models attach here as they land.
}

}  // namespace sim
