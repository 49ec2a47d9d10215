/* The values the hand-written driver entries (hx8347_runs.S) are built on. hx8347_bus.hpp
   checks each against its own constants and layouts, so the two cannot drift apart. Plain
   definitions, because the assembler reads this file too. */
#ifndef HX8347_ASM_H
#define HX8347_ASM_H

#include "chip_facts.h"

/* Offsets in the driver's shadow of the controller (hx8347::bus::Shadow). */
#define HX8347_SHADOW_COUNTER 0 /* column, row: one word */
#define HX8347_SHADOW_INDEX 4
#define HX8347_SHADOW_LINES 6
#define HX8347_SHADOW_START_COLUMN 8
#define HX8347_SHADOW_END_COLUMN 10
#define HX8347_SHADOW_START_ROW 12
#define HX8347_SHADOW_MODE 16

/* The bus: D7-D0 at port B's masked data address, D15-D8 below it at port A's; WR and RS at
   their masked addresses in port F. */
#define HX8347_PORT_LOW_BYTE (CHIP_GPIO_B_BASE + 0x3FC)
#define HX8347_HIGH_BELOW_LOW 0x1000
#define HX8347_CONTROL_PORT CHIP_GPIO_F_BASE
#define HX8347_WR_OFFSET 8
#define HX8347_RS_OFFSET 16
#define HX8347_WR_AND_RS_HIGH 6

/* Controller registers. */
#define HX8347_REG_COLUMN_START_LOW 0x03
#define HX8347_REG_ROW_START_LOW 0x07
#define HX8347_REG_MEMORY 0x22

/* Register 0x16 in each driver's drawing mode. */
#define HX8347_LANDSCAPE_DRAWING_MODE 0x60
#define HX8347_PORTRAIT_DRAWING_MODE 0xC0

#endif
