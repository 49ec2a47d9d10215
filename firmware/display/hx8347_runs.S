// The panel drivers' hottest code, by hand for the target, because the compiler neither kept
// the port addresses in registers nor laid the common path out straight: the commonest drawing
// calls, PixelDraw, LineDrawH and PixelDrawMultiple, and the 8 and 16 bpp picture rows. Text is
// thousands of runs a screen, and a call's own frame was about a third of its cost (about 33 of
// 90-100 estimated cycles); a picture is hundreds of pieces. Each entry handles the two common
// cases: the address counter already where the run starts with the memory register selected
// (the next piece of an opaque glyph row or of a picture row), or the counter moved by the start
// registers' low bytes, their high bytes already right (a picture's next row); always ending
// before the window's end column, and for LineDrawH and PixelDrawMultiple in the drawing mode. It
// keeps the driver's shadow as the C++ steps do. Anything else goes, with the arguments
// untouched, to the C++ steps (hx8347_driver.hpp). The C++ beside each routine is what the host
// build runs; a unit test runs these on the emulated core and requires the very words the host
// build latches, and the same shadow after every call.
#include "display/hx8347_asm.h"

    .syntax unified
    .thumb

    .equ    HX8347_SRAM, CHIP_SRAM_BASE

// The native colours of the last palette in flash that an 8 bpp piece used, by index; bit 31
// set where not yet converted. The pieces of one picture share its palette, so each entry is
// converted once a picture rather than at every change of index. Flash is never written while
// the panel runs, so the palette's address is all that identifies it.
    .equ    HX8347_PALETTE_ENTRIES, 0
    .equ    HX8347_PALETTE_NATIVE, 4
    .section .bss.hx8347_palette, "aw", %nobits
    .balign 4
hx8347_palette:
    .space  4                                       // the palette's address (none: 0)
hx8347_palette_native:
    .space  256 * 4
    .size   hx8347_palette, . - hx8347_palette

// An index word: D7-D0 from reg (which it sets to index), RS low for the strobe, then high.
// r5 holds D7-D0's address, r6 port F's, r7 zero, r8 a value that raises WR or RS.
    .macro index_write reg, index
    movs    \reg, #\index
    str     \reg, [r5]
    str     r7, [r6, #HX8347_RS_OFFSET]
    str     r7, [r6, #HX8347_WR_OFFSET]
    str     r8, [r6, #HX8347_WR_OFFSET]
    str     r8, [r6, #HX8347_RS_OFFSET]
    .endm

// A register's low byte from value, kept in the shadow at offset.
    .macro low_register index, value, offset
    index_write ip, \index
    str     \value, [r5]
    str     r7, [r6, #HX8347_WR_OFFSET]
    str     r8, [r6, #HX8347_WR_OFFSET]
    strh    \value, [r4, #\offset]
    .endm

    .macro strobes count
    .rept   \count
    str     r7, [r6, #HX8347_WR_OFFSET]
    str     r8, [r6, #HX8347_WR_OFFSET]
    .endr
    .endm

// The counter to (x, y) with the memory register selected, the data lines then in r0. r4 holds
// the shadow, the bus registers are loaded; ip is scratch. Branches to fail, having stored
// nothing, unless the counter is there already with the memory register selected, or the start
// registers' high bytes already hold (their low bytes then place it).
    .macro place x, y, fail
    ldr     r0, [r4, #HX8347_SHADOW_COUNTER]      // the counter: column, row
    orr     ip, \x, \y, lsl #16
    cmp     r0, ip
    bne     .Lmove\@
    ldrh    ip, [r4, #HX8347_SHADOW_INDEX]
    cmp     ip, #HX8347_REG_MEMORY
    bne     \fail
    ldrh    r0, [r4, #HX8347_SHADOW_LINES]        // placed and selected: nothing to write
    b       .Lplaced\@
.Lmove\@:
    ldrh    ip, [r4, #HX8347_SHADOW_START_COLUMN] // start column: its high byte holds?
    eors    ip, ip, \x
    cmp     ip, #0xFF
    bhi     \fail
    ldrh    ip, [r4, #HX8347_SHADOW_START_ROW]    // start row: its high byte holds?
    eors    ip, ip, \y
    cmp     ip, #0xFF
    bhi     \fail
    ldrh    ip, [r4, #HX8347_SHADOW_LINES]
    cmp     ip, #0xFF
    bls     .Lhigh\@
    sub     ip, r5, #HX8347_HIGH_BELOW_LOW        // D15-D8 to 0 for register words
    str     r7, [ip]
.Lhigh\@:
    uxth    ip, r0
    cmp     ip, \x
    beq     .Lcolumn\@
    low_register HX8347_REG_COLUMN_START_LOW, \x, HX8347_SHADOW_START_COLUMN
.Lcolumn\@:
    cmp     \y, r0, lsr #16
    beq     .Lrow\@
    low_register HX8347_REG_ROW_START_LOW, \y, HX8347_SHADOW_START_ROW
.Lrow\@:
    orr     ip, \x, \y, lsl #16
    str     ip, [r4, #HX8347_SHADOW_COUNTER]     // the counter is at (x, y)
    index_write r0, HX8347_REG_MEMORY              // the data lines now hold the index
    strh    r0, [r4, #HX8347_SHADOW_INDEX]
.Lplaced\@:
    .endm

// The run: count pixels (an immediate #1 when single is 1) of colour (16 bits) at (x, y).
// r4 holds the shadow; r0 and ip are scratch. Branches to 9f, having stored nothing, when the
// case is not one it handles; falls through when the pixels are out.
    .macro run x, y, count, colour, single
    ldrh    ip, [r4, #HX8347_SHADOW_END_COLUMN]   // ends before the end column (known)
    add     r0, \x, \count
    subs    ip, ip, r0
    lsrs    ip, ip, #15
    bne     9f
    place   \x, \y, 9f
5:  cmp     r0, \colour                           // r0: the data lines; now the colour
    beq     8f
    sub     ip, r5, #HX8347_HIGH_BELOW_LOW
    lsrs    r0, \colour, #8
    str     r0, [ip]
    str     \colour, [r5]
8:  strh    \colour, [r4, #HX8347_SHADOW_LINES]
    add     r0, \x, \count                         // the counter after the run
    strh    r0, [r4, #HX8347_SHADOW_COUNTER]
    .if \single
    strobes 1
    .else
    tst     \count, #1                             // 1, 2, 4, then 8 a pass
    beq     12f
    strobes 1
12: tst     \count, #2
    beq     13f
    strobes 2
13: tst     \count, #4
    beq     14f
    strobes 4
14: lsrs    \count, \count, #3
    beq     16f
15: strobes 8
    subs    \count, \count, #1
    bne     15b
16:
    .endif
    .endm

// A global Thumb function in a section of its own (so that the linker can drop it), and its end.
    .macro function name
    .section .text.\name, "ax", %progbits
    .global \name
    .type   \name, %function
    .thumb_func
\name:
    .endm

    .macro end_function name
    .ltorg
    .subsection 1                                   // after the code kept out of the way
.Lend_\name:
    .subsection 0
    .size   \name, .Lend_\name - \name
    .endm

    .macro load_bus
    ldr     r5, =HX8347_PORT_LOW_BYTE
    ldr     r6, =HX8347_CONTROL_PORT
    movs    r7, #0
    mov     r8, #HX8347_WR_AND_RS_HIGH
    .endm

// PixelDraw(displayData r0, x r1, y r2, colour r3): register 0x16 is not looked at, as the
// steps do not either.
    .macro pixel_draw name, steps
    function \name
    push    {r4-r8}
    ldr     r4, =hx8347_shadow
    load_bus
    uxth    r3, r3
    run     r1, r2, #1, r3, 1
    pop     {r4-r8}
    bx      lr
9:  pop     {r4-r8}
    b       \steps
    end_function \name
    .endm

// LineDrawH(displayData r0, x1 r1, x2 r2, y r3, colour on the stack): in the drawing mode only;
// an empty run (x2 < x1) goes to the steps too.
    .macro line_draw_h name, steps, drawing
    function \name
    push    {r4-r10}
    ldr     r4, =hx8347_shadow
    ldrh    r0, [r4, #HX8347_SHADOW_MODE]
    cmp     r0, #\drawing
    bne     9f
    subs    r9, r2, r1
    blt     9f
    adds    r9, r9, #1
    ldr     r10, [sp, #28]
    uxth    r10, r10
    load_bus
    run     r1, r3, r9, r10, 0
    pop     {r4-r10}
    bx      lr
9:  pop     {r4-r10}
    b       \steps
    end_function \name
    .endm

    pixel_draw hx8347_landscape_pixel_draw, hx8347_landscape_pixel_draw_steps
    line_draw_h hx8347_landscape_line_draw_h, hx8347_landscape_line_draw_h_steps, HX8347_LANDSCAPE_DRAWING_MODE
    pixel_draw hx8347_portrait_pixel_draw, hx8347_portrait_pixel_draw_steps
    line_draw_h hx8347_portrait_line_draw_h, hx8347_portrait_line_draw_h_steps, HX8347_PORTRAIT_DRAWING_MODE

// A picture row's new colour (native, in colour) out on both data ports. r9 holds D15-D8's
// address; scratch is free.
    .macro new_colour colour, scratch
    lsrs    \scratch, \colour, #8
    str     \scratch, [r9]
    str     \colour, [r5]
    .endm

// One 5-6-5 word (red high) from r0 (advanced): the last word in r3; r4 and ip scratch. When it
// differs from the last, both data ports take it in the native order (blue high), each byte
// built straight from the word; then the strobe.
    .macro row16_pixel
    ldrh    ip, [r0], #2
    cmp     ip, r3
    beq     .Lstrobe\@
    mov     r3, ip
    lsrs    r4, ip, #8                              // D15-D8: blue, then green's high bits
    bfi     r4, ip, #3, #5
    str     r4, [r9]
    and     r4, ip, #0xE0                           // D7-D0: green's low bits, then red
    orr     r4, r4, ip, lsr #11
    str     r4, [r5]
.Lstrobe\@:
    strobes 1
    .endm

// Row16's loop: data r0, count r1 > 0 -> the data lines (native) in r2; r3, r4 and ip are
// scratch. Four pixels a pass, after the one to three that the count has beyond a multiple of 4.
    .macro row16_loop
    mov     r3, #0x10000                            // the last word: none yet
1:  tst     r1, #3
    beq     2f
    row16_pixel
    subs    r1, r1, #1
    b       1b
2:  cmp     r1, #0
    beq     4f
3:  row16_pixel
    row16_pixel
    row16_pixel
    row16_pixel
    subs    r1, r1, #4
    bne     3b
4:  lsrs    r2, r3, #11                             // the last word in the native order
    bfi     r2, r3, #11, #5
    and     r4, r3, #0x7E0
    orr     r2, r2, r4
    .endm

// One palette index from r0 (advanced): the last index in lr, the data lines in r3; r4 and ip
// scratch. Outputs the entry's native colour when the index differs from the last, then strobes.
// Plain: r2 holds the entries (blue, green, red bytes), converted each time. Cached: r2 holds
// hx8347_palette_native; an entry met for the first time is converted out of the way, in the
// routine's second subsection, and kept.
    .macro row8_pixel cached
    ldrb    ip, [r0], #1
    cmp     ip, lr
    beq     .Lstrobe\@
    mov     lr, ip
    .if \cached
    ldr     r3, [r2, ip, lsl #2]
    cmp     r3, #0
    bmi     .Lconvert\@
.Lout\@:
    .else
    add     ip, ip, ip, lsl #1
    add     ip, ip, r2
    entry_to_native ip, r3, r4
    .endif
    new_colour r3, r4
.Lstrobe\@:
    strobes 1
    .if \cached
    .subsection 1
.Lconvert\@:
    ldr     r3, [r2, #HX8347_PALETTE_ENTRIES - HX8347_PALETTE_NATIVE]
    add     ip, ip, ip, lsl #1
    add     ip, ip, r3
    entry_to_native ip, r3, r4
    str     r3, [r2, lr, lsl #2]
    b       .Lout\@
    .subsection 0
    .endif
    .endm

// The native colour (blue high) of the palette entry at entry (blue, green, red bytes), into
// native; entry and scratch are overwritten.
    .macro entry_to_native entry, native, scratch
    ldrb    \native, [\entry]
    ldrb    \scratch, [\entry, #1]
    ldrb    \entry, [\entry, #2]
    lsrs    \native, \native, #3
    lsls    \native, \native, #11
    lsrs    \scratch, \scratch, #2
    orr     \native, \native, \scratch, lsl #5
    orr     \native, \native, \entry, lsr #3
    .endm

// Row8's loop: data r0, count r1 > 0, entries or the cache in r2 (row8_pixel) -> the data lines
// in r3 (the first pixel always sets them); r4, r10, lr and ip are scratch. Pictures have long
// runs of one index, so aligned words are compared whole: four bytes of the last index are four
// strobes and nothing else. A word that differs goes byte by byte, as the bytes before the data
// is aligned and the last few do.
    .macro row8_loop cached
    mov     lr, #0x100                              // the last index: none yet
    tst     r0, #3
    beq     4f                                      // aligned: the first word byte by byte
1:  row8_pixel \cached                              // up to the first aligned byte
    subs    r1, r1, #1
    beq     9f
    tst     r0, #3
    bne     1b
2:  orr     r10, lr, lr, lsl #8                     // the last index in every byte of a word
    orr     r10, r10, r10, lsl #16
    subs    r1, r1, #4
    bcc     6f
3:  ldr     ip, [r0], #4
    cmp     ip, r10
    bne     5f
    strobes 4
    subs    r1, r1, #4
    bcs     3b
    b       6f
4:  subs    r1, r1, #4
    bcs     55f
    b       6f
5:  sub     r0, r0, #4
55: row8_pixel \cached
    row8_pixel \cached
    row8_pixel \cached
    row8_pixel \cached
    b       2b
6:  adds    r1, r1, #4                              // fewer than four left
    beq     9f
7:  row8_pixel \cached
    subs    r1, r1, #1
    bne     7b
9:
    .endm

// Row16(data r0, count r1 > 0, held r2) -> the data lines.
    function hx8347_row16
    push    {r4-r9}
    load_bus
    sub     r9, r5, #HX8347_HIGH_BELOW_LOW
    row16_loop
    mov     r0, r2
    pop     {r4-r9}
    bx      lr
    end_function hx8347_row16

// Row8(data r0, count r1 > 0, entries r2, held r3) -> the data lines.
    function hx8347_row8
    push    {r4-r10, lr}
    load_bus
    sub     r9, r5, #HX8347_HIGH_BELOW_LOW
    row8_loop 0
    mov     r0, r3
    pop     {r4-r10, pc}
    end_function hx8347_row8

// PixelDrawMultiple(displayData r0, x r1, y r2, x0 r3; count, bpp, data, palette on the stack)
// for 8 and 16 bpp rows in the drawing mode, ending before the window's end column, placed as a
// run is: the next piece of a picture, or its next row. The rest goes to the steps, the
// arguments untouched.
    .macro pixel_draw_multiple name, steps, drawing
    function \name
    push    {r4-r10, lr}
    ldr     r4, =hx8347_shadow
    ldrh    r5, [r4, #HX8347_SHADOW_MODE]
    cmp     r5, #\drawing
    bne     90f
    ldr     r10, [sp, #32]                          // count > 0
    cmp     r10, #0
    ble     90f
    ldrh    ip, [r4, #HX8347_SHADOW_END_COLUMN]     // ends before the end column (known)
    add     r5, r1, r10
    subs    ip, ip, r5
    lsrs    ip, ip, #15
    bne     90f
    ldr     r9, [sp, #36]                           // bpp
    cmp     r9, #16
    beq     1f
    cmp     r9, #8
    bne     90f
    ldr     ip, [sp, #44]                           // palettes in flash only, which never change
    cmp     ip, #HX8347_SRAM
    bhs     90f
1:  load_bus
    place   r1, r2, 90f
    add     ip, r1, r10
    strh    ip, [r4, #HX8347_SHADOW_COUNTER]        // the counter after the row
    cmp     r9, #8
    sub     r9, r5, #HX8347_HIGH_BELOW_LOW
    beq     80f
    ldr     r0, [sp, #40]
    mov     r1, r10
    row16_loop
    ldr     r4, =hx8347_shadow
    strh    r2, [r4, #HX8347_SHADOW_LINES]
    pop     {r4-r10, pc}
80: ldr     r0, [sp, #40]
    mov     r1, r10
    ldr     ip, [sp, #44]
    ldr     r2, =hx8347_palette_native
    ldr     r4, [r2, #HX8347_PALETTE_ENTRIES - HX8347_PALETTE_NATIVE]
    cmp     r4, ip
    beq     82f
    str     ip, [r2, #HX8347_PALETTE_ENTRIES - HX8347_PALETTE_NATIVE]
    mov     r3, #-1                                 // another palette: every entry unknown
    mov     r4, #-1
    mov     r10, #-1
    mov     ip, #-1
    add     lr, r2, #1024
81: stmia   r2!, {r3, r4, r10, ip}
    cmp     r2, lr
    bne     81b
    sub     r2, r2, #1024
82: row8_loop 1
    ldr     r4, =hx8347_shadow
    strh    r3, [r4, #HX8347_SHADOW_LINES]
    pop     {r4-r10, pc}
90: pop     {r4-r10, lr}
    b       \steps
    end_function \name
    .endm

    pixel_draw_multiple hx8347_landscape_pixel_draw_multiple, hx8347_landscape_pixel_draw_multiple_steps, HX8347_LANDSCAPE_DRAWING_MODE
    pixel_draw_multiple hx8347_portrait_pixel_draw_multiple, hx8347_portrait_pixel_draw_multiple_steps, HX8347_PORTRAIT_DRAWING_MODE
