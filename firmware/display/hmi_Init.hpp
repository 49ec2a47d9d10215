// Display start-up: chooses and starts the panel driver, publishes it in g_sDisplayDriverROM and
// owns the backlight switch that interrupt code uses.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"

// The driver every widget and screen draws through: a RAM copy of the chosen driver's table,
// all zero until start-up fills it.
extern DisplayDriver g_sDisplayDriverROM;

// The chosen driver's backlight routines; null until start-up.
extern void (*hmi_BacklightOn)();
extern void (*hmi_BacklightOff)();

// Orientation code: 0 or 2 portrait, 1 or 3 landscape, anything else no display.
void hmi_Init(uint32_t orientation);
void hmi_Display_Init(uint32_t orientation);
// 0 switches the backlight off, any other level on; does nothing before start-up chose a driver.
void hmi_BacklightSet(uint32_t level);
