@ The instruction-granularity program of arm_core_test.cpp; its bytes there come from
@   arm-none-eabi-as -mcpu=cortex-m3 -mthumb arm_core_granular.S -o p.o
@   arm-none-eabi-objcopy -O binary p.o p.bin
    .syntax unified
    .thumb
    .org 0
    .word 0x20001000        @ initial SP
    .word reset + 1
    .rept 13
    .word 0
    .endr
    .word systick + 1       @ 15 SysTick
    .org 0x40
reload:
    .word 100               @ SysTick's reload value: the test writes its own here
reset:
    ldr r1, =0xE000E010
    ldr r2, reload
    str r2, [r1, #4]        @ RELOAD
    movs r2, #0
    str r2, [r1, #8]        @ CURRENT: the count starts afresh
    movs r0, #0
    movs r2, #7
    str r2, [r1]            @ CTRL: on, interrupting, on the processor clock
run:
    .rept 64
    adds r0, #1             @ one cycle each: the tick falls due inside this run
    .endr
idle:
    b idle
systick:
    ldr r1, =0xE000E010
    movs r2, #0
    str r2, [r1]            @ once only
    ldr r2, [sp, #24]       @ the interrupted instruction's address, from the frame
    ldr r3, =0x20000000
    str r2, [r3]
    str r0, [r3, #4]        @ the adds done before it
    bx lr
    .ltorg
