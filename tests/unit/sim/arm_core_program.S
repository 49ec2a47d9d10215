@ The exception-model program of arm_core_test.cpp; its bytes there come from
@   arm-none-eabi-as -mcpu=cortex-m3 -mthumb arm_core_program.S -o p.o
@   arm-none-eabi-objcopy -O binary p.o p.bin
    .syntax unified
    .thumb
    .org 0
vectors:
    .word 0x20000FFC        @ initial SP: not 8-byte aligned, so frames carry the pad flag
    .word reset + 1
    .rept 13
    .word 0                 @ unused (a fault here would fail the test)
    .endr
    .word systick + 1       @ 15 SysTick
    .word irq0 + 1          @ 16 peripheral interrupt 0
    .org 0x60
reset:
    ldr r4, =0x20000000     @ r4: log pointer cell at 0x20000000, log from 0x20000010
    ldr r0, =0x20000010
    str r0, [r4]
    ldr r0, =0xE000E400     @ IRQ0 priority 0x20: less urgent than SysTick (0)
    movs r1, #0x20
    strb r1, [r0]
    ldr r0, =0xE000E100     @ enable IRQ0
    movs r1, #1
    str r1, [r0]
    cpsid i                 @ masked: a pended IRQ0 must wait
    ldr r0, =0xE000E200
    str r1, [r0]
    movs r0, #'M'
    bl log
    cpsie i                 @ IRQ0 now: it pends SysTick, which preempts it
    movs r0, #'W'
    bl log
    ldr r0, =0xE000E010     @ SysTick every 1000 clocks
    ldr r1, =999
    str r1, [r0, #4]
    movs r1, #0
    str r1, [r0, #8]
    movs r1, #7
    str r1, [r0]
idle:
    wfi
    mov r0, sp              @ the stack must be back where it was after every exception
    ldr r1, =0x20000FFC
    cmp r0, r1
    beq idle
    movs r0, #'!'
    bl log
    b idle
log:                        @ append r0 (a byte) to the log, with interrupts masked
    mrs r3, primask
    cpsid i
    ldr r2, [r4]
    strb r0, [r2]
    adds r2, #1
    str r2, [r4]
    msr primask, r3
    bx lr
systick:
    push {lr}
    ldr r0, =0x20000004     @ count the ticks
    ldr r1, [r0]
    adds r1, #1
    str r1, [r0]
    cmp r1, #1
    bne 1f
    movs r0, #'s'           @ only the first tick, nested in IRQ0, is logged
    bl log
1:  pop {pc}
irq0:
    push {lr}
    movs r0, #'i'
    bl log
    ldr r0, =0xE000ED04     @ pend SysTick: it preempts this handler at once
    ldr r1, =0x04000000
    str r1, [r0]
    movs r0, #'j'
    bl log
    pop {pc}
    .ltorg
