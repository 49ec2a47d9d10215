/* The boot loader: the three 2 KB flash blocks below the firmware image. */
MEMORY
{
    FLASH (rx) : ORIGIN = 0x00000000, LENGTH = 0x1800
}

SECTIONS
{
    .text :
    {
        KEEP(*(.boot_vectors))
        *(.text*)
        *(.rodata*)
    } > FLASH

    .data : { *(.data*) } > FLASH
    .bss : { *(.bss*) *(COMMON) } > FLASH
}

ASSERT(SIZEOF(.data) == 0 && SIZEOF(.bss) == 0, "the boot loader must not use RAM variables")
