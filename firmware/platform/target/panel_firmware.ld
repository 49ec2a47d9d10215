/* Memory layout of the panel firmware: the image from flash 0x1800 up to the parameter area at
   0x3F400, RAM from 0x20000000. The boot loader owns the 6 KB below the image. */

MEMORY
{
    FLASH (rx) : ORIGIN = 0x00001800, LENGTH = 0x0003F400 - 0x00001800
    SRAM (rwx) : ORIGIN = 0x20000000, LENGTH = 64K
}

ENTRY(_Z8ResetISRv)

SECTIONS
{
    .text :
    {
        _text = .;
        KEEP(*(.isr_vector))
        *(.text*)
        *(.rodata*)
        . = ALIGN(4);
    } > FLASH

    /* Unwind tables of the compiler's support routines, if any get linked. */
    .ARM.exidx :
    {
        *(.ARM.exidx* .gnu.linkonce.armexidx.*)
    } > FLASH

    .init_array :
    {
        KEEP(*(.init_array*))
    } > FLASH

    . = ALIGN(4);
    _etext = .;

    .data : AT(_etext)
    {
        _data = .;
        *(.data*)
        . = ALIGN(4);
        _edata = .;
    } > SRAM

    .bss (NOLOAD) :
    {
        _bss = .;
        *(.bss*)
        *(COMMON)
        . = ALIGN(4);
        _ebss = .;
    } > SRAM

    /DISCARD/ :
    {
        *(.ARM.attributes.discard)
    }
}

/* The reset handler runs no constructors: every global must be initialised statically. */
ASSERT(SIZEOF(.init_array) == 0, "a global needs dynamic initialisation, which ResetISR does not run")

/* There is no heap. */
ASSERT(!DEFINED(malloc) && !DEFINED(_malloc_r) && !DEFINED(free) && !DEFINED(_sbrk),
       "something pulled in the heap (malloc, free or _sbrk)")

ASSERT(_etext + SIZEOF(.data) <= 0x0003F400, "the image reaches into the parameter area")
