# The session the live test runs against the fake target (and the recorded exchanges' source).
set pagination off
set confirm off
p/x $pc
p/x $sp
p/x $xpsr
p/x $msp
p/x $primask
p/x $control
x/2xw 0x20000000
set {int}0x20000000 = 0x12345678
set {int}0x20000004 = 0x7d232a24
x/2xw 0x20000000
set $r3 = 0xcafe
p/x $r3
break *0x1810
continue
stepi
p/x $pc
delete
watch *(int*)0x20000010
continue
delete
rwatch *(int*)0x20000020
continue
delete
awatch *(int*)0x20000030
continue
delete
monitor status
monitor echo hello there
break *0x1804
reverse-stepi
p/x $pc
reverse-continue
p/x $pc
delete
monitor refuse-reverse the run took input from outside the simulator
reverse-stepi
