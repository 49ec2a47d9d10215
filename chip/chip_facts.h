/* The target microcontroller and this board's use of it, written once: memory map, flash
   layout, peripheral bases and the crystal table. The firmware, the boot loader, the linker
   scripts (cmake/chip_facts.cmake reads this file to configure them), the simulator and the
   emulated core all take their numbers from here.

   Plain literals only, no casts and no suffixes: the assembler and CMake read these lines too. */
#ifndef CHIP_FACTS_H
#define CHIP_FACTS_H

/* Flash: protection works on 2 KB blocks (one FMPRE/FMPPE bit each), erasing on 1 KB pages. */
#define CHIP_FLASH_BASE 0x00000000
#define CHIP_FLASH_SIZE 0x00040000
#define CHIP_FLASH_BLOCK_SIZE 0x00000800
#define CHIP_FLASH_PAGE_SIZE 0x00000400

/* The boot loader owns the three flash blocks below the firmware image. Its vector table's
   SVCall slot holds the firmware-update entry. */
#define CHIP_BOOT_BASE 0x00000000
#define CHIP_BOOT_SIZE 0x00001800
#define CHIP_BOOT_UPDATE_ENTRY_SLOT 0x0000002C

/* The firmware image, vector table first. */
#define CHIP_IMAGE_BASE 0x00001800

/* The parameter area at the top of flash: six 512-byte pages. */
#define CHIP_PARAM_BASE 0x0003F400
#define CHIP_PARAM_SIZE 0x00000C00
#define CHIP_PARAM_PAGE_SIZE 0x00000200
#define CHIP_PARAM_PAGES 6

/* SRAM. */
#define CHIP_SRAM_BASE 0x20000000
#define CHIP_SRAM_SIZE 0x00010000

/* The peripheral region, where every peripheral has 4 KB pages of its own, and the private
   bus with the system control space (SysTick, NVIC, SCB). */
#define CHIP_PERIPH_BASE 0x40000000
#define CHIP_PERIPH_SIZE 0x00100000
#define CHIP_PERIPH_PAGE_SIZE 0x00001000
#define CHIP_PRIVATE_BUS_BASE 0xE0000000
#define CHIP_PRIVATE_BUS_SIZE 0x00100000
#define CHIP_SCS_BASE 0xE000E000
#define CHIP_SCS_SIZE 0x00001000
#define CHIP_SCB_VTOR 0xE000ED08

/* Peripheral bases. */
#define CHIP_GPIO_A_BASE 0x40004000
#define CHIP_GPIO_B_BASE 0x40005000
#define CHIP_GPIO_C_BASE 0x40006000
#define CHIP_GPIO_D_BASE 0x40007000
#define CHIP_GPIO_E_BASE 0x40024000
#define CHIP_GPIO_F_BASE 0x40025000
#define CHIP_GPIO_G_BASE 0x40026000
#define CHIP_UART1_BASE 0x4000D000
#define CHIP_TIMER0_BASE 0x40030000
#define CHIP_TIMER1_BASE 0x40031000
#define CHIP_TIMER2_BASE 0x40032000
#define CHIP_TIMER3_BASE 0x40033000
#define CHIP_ADC0_BASE 0x40038000
#define CHIP_FLASH_CTRL_BASE 0x400FD000
#define CHIP_SYSCTL_BASE 0x400FE000

/* Peripheral interrupt lines (vector table entry 16 + line). Timer n's halves A and B are lines
   CHIP_IRQ_TIMER0_A + 2n and the one after it. */
#define CHIP_PERIPHERAL_IRQS 44
#define CHIP_IRQ_UART1 6
#define CHIP_IRQ_ADC0_SEQUENCE3 17
#define CHIP_IRQ_TIMER0_A 19
#define CHIP_IRQ_TIMER2_B 24

/* Clock sources: the internal oscillator, the PLL's output, and the crystal frequency that
   each value of the RCC XTAL field (bits 9-6) selects, in field order. An initialiser list,
   so that C and C++ alike can make their table of it. */
#define CHIP_INTERNAL_OSC_HZ 12000000
#define CHIP_PLL_HZ 200000000
#define CHIP_MAX_CLOCK_HZ 50000000
#define CHIP_BOARD_CRYSTAL_HZ 8000000 /* the crystal fitted on the panel's board */
#define CHIP_CRYSTAL_HZ_BY_XTAL_FIELD                                                         \
    1000000, 1843200, 2000000, 2457600, 3579545, 3686400, 4000000, 4096000, 4915200, 5000000, \
        5120000, 6000000, 6144000, 7372800, 8000000, 8192000

#endif /* CHIP_FACTS_H */
