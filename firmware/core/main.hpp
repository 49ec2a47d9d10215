// Start-up, main loop and the tick.
#pragma once

#include <cstdint>

// Non-zero ends the main loop and starts the update hand-off.
extern volatile uint8_t g_bFirmwareUpdate;

int main();
void SysTickIntHandler();
