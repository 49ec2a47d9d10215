// The compressed pictures' decoder loop, by hand for the target: the compiler kept neither the
// flags nor the positions in registers across the paths, and spent a branch and a move on nearly
// every byte. It takes the steps of the C++ loop in image.cpp (the host's twin, which a unit test
// compares with this one on the emulated core): literals, runs (offset 31: the byte written
// last, stored again without a load) and references, in one piece when the window does not fill
// and the source does not wrap, otherwise in pieces; the window drawn through image_next_window
// whenever it fills.
//
// void image_decode(const uint8_t* stream, uint8_t* end, void* decompressor)
//   stream: the first flag byte; end: where the first window ends; decompressor: passed on to
//   image_next_window, which draws the full window and returns where the next one ends, or
//   nothing after the last (and then this returns).
//
// Registers: r4 stream, r5 the byte written last, r6 the window, r7 the write position, r8 the
// window's end, r9 two before it, r10 the flags (the next flag at the top, a marker bit below the
// group's last one: shifting it out leaves zero), r11 the ring's end (the window + 32).
// [sp] and [sp, #8] keep a piece's length and source across a call; [sp, #4] the decompressor.

    .syntax unified
    .thumb

// The window is full: draws it and starts the next, or returns when it was the last.
    .macro window_full
    ldr     r0, [sp, #4]
    bl      image_next_window
    cmp     r0, #0
    beq     .Ldone
    mov     r8, r0
    sub     r9, r0, #2
    mov     r7, r6
    .endm

// The next item's flag, taken as at .Lnext but without a branch back there first.
    .macro next_item
    lsls    r10, r10, #1
    beq     .Lgroup
    bcc     .Lliteral
    b       .Lreference
    .endm

    .section .text.image_decode,"ax",%progbits
    .global image_decode
    .type   image_decode, %function
    .thumb_func
image_decode:
    push    {r4-r11, lr}
    sub     sp, sp, #12
    str     r2, [sp, #4]
    mov     r4, r0
    ldr     r6, =g_pucDictionary
    mov     r7, r6
    mov     r8, r1
    sub     r9, r1, #2
    add     r11, r6, #32
    movs    r5, #0                  // the cleared window's last byte
    b       .Lgroup                 // no flags yet

// Laid out so that a literal after a literal, and a reference after a literal or at a group's
// start, take no branch but the one that picks them.
.Lliteral_full:
    window_full
    b       .Lnext
.Lgroup:
    ldrb    r10, [r4], #1
    lsls    r10, r10, #25           // the first flag to the carry
    orr     r10, r10, #0x01000000   // the marker, below the flags left (flags untouched)
    bcs     .Lreference
.Lliteral:
    ldrb    r5, [r4], #1
    strb    r5, [r7], #1
    cmp     r7, r8
    beq     .Lliteral_full
.Lnext:
    lsls    r10, r10, #1            // the flag to the carry; zero when the group is done
    beq     .Lgroup
    bcc     .Lliteral
.Lreference:
    ldrb    r0, [r4], #1
    and     r1, r0, #7              // the length code: 2..9 bytes
    cmp     r0, #0xF8
    bcc     .Lcopy
    add     r2, r7, r1              // a run: does it stay short of the window's end?
    cmp     r2, r9
    bcs     .Lrun_fills
    tbb     [pc, r1]
1:  .byte   (.Lrun2 - 1b) / 2, (.Lrun3 - 1b) / 2, (.Lrun4 - 1b) / 2, (.Lrun5 - 1b) / 2
    .byte   (.Lrun6 - 1b) / 2, (.Lrun7 - 1b) / 2, (.Lrun8 - 1b) / 2, (.Lrun9 - 1b) / 2

.Lrun_fills:                        // it fills the window (1..9 bytes), and may go on
    adds    r1, r1, #2
.Lrun_piece:                        // r1: the length left, at least the room
    sub     r2, r8, r7
    subs    r1, r1, r2
    str     r1, [sp]
    tbb     [pc, r2]
1:  .byte   0, (.Lfill1 - 1b) / 2, (.Lfill2 - 1b) / 2, (.Lfill3 - 1b) / 2, (.Lfill4 - 1b) / 2
    .byte   (.Lfill5 - 1b) / 2, (.Lfill6 - 1b) / 2, (.Lfill7 - 1b) / 2, (.Lfill8 - 1b) / 2
    .byte   (.Lfill9 - 1b) / 2
    .balign 2
.Lfill9:
    strb    r5, [r7], #1
.Lfill8:
    strb    r5, [r7], #1
.Lfill7:
    strb    r5, [r7], #1
.Lfill6:
    strb    r5, [r7], #1
.Lfill5:
    strb    r5, [r7], #1
.Lfill4:
    strb    r5, [r7], #1
.Lfill3:
    strb    r5, [r7], #1
.Lfill2:
    strb    r5, [r7], #1
.Lfill1:
    strb    r5, [r7], #1
    window_full
    ldr     r1, [sp]
    cmp     r1, #0
    beq     .Lnext
    sub     r2, r8, r7              // the rest: fills the next window too (its last, short)?
    cmp     r1, r2
    bcs     .Lrun_piece
    tbb     [pc, r1]
1:  .byte   0, (.Lrun1 - 1b) / 2, (.Lrun2 - 1b) / 2, (.Lrun3 - 1b) / 2, (.Lrun4 - 1b) / 2
    .byte   (.Lrun5 - 1b) / 2, (.Lrun6 - 1b) / 2, (.Lrun7 - 1b) / 2, (.Lrun8 - 1b) / 2
    .balign 2
.Lrun9:
    strb    r5, [r7], #1
.Lrun8:
    strb    r5, [r7], #1
.Lrun7:
    strb    r5, [r7], #1
.Lrun6:
    strb    r5, [r7], #1
.Lrun5:
    strb    r5, [r7], #1
.Lrun4:
    strb    r5, [r7], #1
.Lrun3:
    strb    r5, [r7], #1
.Lrun2:
    strb    r5, [r7], #1
.Lrun1:
    strb    r5, [r7], #1
    next_item

.Lcopy:                             // offset 0..30: from (position + offset) mod 32
    sub     r2, r7, r6
    add     r2, r2, r0, lsr #3
    and     r2, r2, #31
    add     r3, r2, r1
    cmp     r3, #30                 // the source would wrap
    bhi     .Lcopy_pieces
    add     r3, r7, r1
    cmp     r3, r9                  // the window would fill
    bcs     .Lcopy_pieces
    add     r2, r2, r6
    tbb     [pc, r1]                // forwards: the source may overlap what is written
1:  .byte   (.Lcopy2 - 1b) / 2, (.Lcopy3 - 1b) / 2, (.Lcopy4 - 1b) / 2, (.Lcopy5 - 1b) / 2
    .byte   (.Lcopy6 - 1b) / 2, (.Lcopy7 - 1b) / 2, (.Lcopy8 - 1b) / 2, (.Lcopy9 - 1b) / 2
.Lcopy9:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lcopy8:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lcopy7:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lcopy6:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lcopy5:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lcopy4:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lcopy3:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lcopy2:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
    next_item

.Lcopy_pieces:                      // pieces that end where the window fills or the source wraps
    adds    r1, r1, #2
    add     r2, r2, r6
.Lcopy_piece:
    sub     r3, r8, r7              // the piece: the least of length, room and source left
    cmp     r1, r3
    it      lo
    movlo   r3, r1
    sub     r0, r11, r2
    cmp     r0, r3
    it      lo
    movlo   r3, r0
    subs    r1, r1, r3
    tbb     [pc, r3]
1:  .byte   0, (.Lpiece1 - 1b) / 2, (.Lpiece2 - 1b) / 2, (.Lpiece3 - 1b) / 2
    .byte   (.Lpiece4 - 1b) / 2, (.Lpiece5 - 1b) / 2, (.Lpiece6 - 1b) / 2
    .byte   (.Lpiece7 - 1b) / 2, (.Lpiece8 - 1b) / 2, (.Lpiece9 - 1b) / 2
    .balign 2
.Lpiece9:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lpiece8:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lpiece7:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lpiece6:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lpiece5:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lpiece4:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lpiece3:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lpiece2:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
.Lpiece1:
    ldrb    r5, [r2], #1
    strb    r5, [r7], #1
    cmp     r2, r11
    it      eq
    moveq   r2, r6
    cmp     r7, r8
    bne     2f
    str     r1, [sp]
    str     r2, [sp, #8]
    window_full
    ldr     r1, [sp]
    ldr     r2, [sp, #8]
2:  cmp     r1, #0
    bne     .Lcopy_piece
    b       .Lnext

.Ldone:
    add     sp, sp, #12
    pop     {r4-r11, pc}
    .pool
    .size   image_decode, . - image_decode
