# A debugging session on the real image, as an engineer would have it, with a check after each
# step. Run by image_session.sh: gdb-multiarch -batch IMAGE.elf -x image_session.py (PORT in the
# environment). Prints "SESSION PASSED" when every check held.
import os
import re
import time

import gdb

failures = []
stops = []


def on_stop(event):
    stops.append(event)


gdb.events.stop.connect(on_stop)


def run(command):
    return gdb.execute(command, to_string=True)


def check(what, condition, detail=""):
    print(("ok   " if condition else "FAIL ") + what + ("" if condition else ": " + detail))
    if not condition:
        failures.append(what)


def value(expression):
    return int(gdb.parse_and_eval(expression))


def clock():
    # "t=... ps (... ms)  instructions=...  cycles~..."
    text = run("monitor clock")
    match = re.search(r"t=(\d+) ps .*instructions=(\d+)", text)
    return (int(match.group(1)), int(match.group(2))) if match else (None, None)


def resume(command="continue"):
    # The stop event tells why it stopped (the command's own output is not captured).
    del stops[:]
    gdb.execute(command)
    return stops[-1] if stops else None


def watch_stop(event):
    watchpoints = (gdb.BP_WATCHPOINT, gdb.BP_HARDWARE_WATCHPOINT, gdb.BP_READ_WATCHPOINT,
                   gdb.BP_ACCESS_WATCHPOINT)
    return isinstance(event, gdb.BreakpointEvent) and any(
        b.type in watchpoints for b in event.breakpoints)


def function():
    frame = gdb.selected_frame()
    return frame.name() or ""


def snapshot(name):
    # Where the run is, exactly: instructions and time, every register, all of SRAM.
    run("maintenance flush register-cache")
    run("dump binary memory %s 0x20000000 0x20010000" % name)
    with open(name, "rb") as f:
        ram = f.read()
    return clock(), run("info registers"), ram


def same(a, b):
    return "equal" if a == b else "clock %s / %s, registers %s, RAM %s" % (
        a[0], b[0], a[1] == b[1], a[2] == b[2])


run("set pagination off")
run("set confirm off")
# A monitor command runs the firmware before it answers: on a loaded machine that may take longer
# than GDB's two seconds.
run("set remotetimeout 60")
run("target remote :" + os.environ["PORT"])

# Held at reset: the first instruction of the reset handler, and time stands still.
check("held at the reset entry", value("$pc") == value("(unsigned) &ResetISR") & ~1,
      function())
before = clock()
time.sleep(0.3)
check("virtual time frozen while halted", clock() == before, str(before) + " " + str(clock()))

run("set breakpoint always-inserted on")
run("break hmi_GotoFrame")
stop = resume()
check("breakpoint at the first screen change", isinstance(stop, gdb.BreakpointEvent) and
      function() == "hmi_GotoFrame", function())
check("its argument", value("frame") == 1, run("info args"))

run("break OnFrame12Paint")
resume()
check("into the first screen's painting", function() == "OnFrame12Paint", function())
context = run("print *context")
check("a DrawContext shown field by field", "{" in context and "=" in context, context)
run("finish")
check("finish returns to the caller", function() != "OnFrame12Paint", function())
run("delete")

# The bench drives the panel from the debugger: the tap on "WEJDZ" meets the breakpoint.
run("monitor wait 400")
run("break hmi_GotoFrame")
run("monitor tap 158 171")
stop = resume()
check("the tap's screen change stops at the breakpoint", function() == "hmi_GotoFrame" and
      value("frame") == 2, function())
backtrace = run("bt")
for caller in ("RectangularButtonMsgProc", "WidgetMessageQueueProcess", "main"):
    check("bt through " + caller, caller in backtrace, backtrace)
line_before = gdb.selected_frame().find_sal().line
run("next")
run("next")
check("next moves by source lines", gdb.selected_frame().find_sal().line != line_before)
run("delete")
run("monitor wait 300")
run("maintenance flush register-cache")
check("_CurrentFrame after the change", value("_CurrentFrame") == 2, run("print _CurrentFrame"))

# A write watchpoint on a variable's value: the module's output register written from the bench
# reaches the firmware's variable through the poller.
run("watch Dev_1_AO10.value")
run("monitor register DO1 1")
stop = resume()
check("write watchpoint on Dev_1_AO10.value", watch_stop(stop) and
      value("Dev_1_AO10.value") == 1, str(stop))
at_write = snapshot("at_write.bin")
run("delete")

# UART1's data register: a read of it takes a character from the receive FIFO, so an access
# watchpoint is the one to set there (GDB reads a write watchpoint's old value).
run("awatch *(int *) 0x4000D000")
stop = resume()
check("access watchpoint on UART1's data register", watch_stop(stop),
      str(stop))
run("delete")

# The display's data port: a store to it stops; then one store stepped over alone.
run("watch *(int *) 0x400053FC")
run("monitor touch 120 208")
stop = resume()
check("write watchpoint on the display's port", watch_stop(stop), str(stop))
run("delete")
run("monitor release")


def store_target():
    # The address the instruction at pc stores to, for the forms the drawing code uses.
    text = run("x/i $pc")
    match = re.search(r"\bstr[bh]?(?:\.w)?\s+\w+,\s*\[(\w+)(?:,\s*(?:#(-?\d+)|(\w+)))?\]", text)
    if not match:
        return None
    address = value("$" + match.group(1))
    if match.group(2):
        address += int(match.group(2))
    elif match.group(3):
        address += value("$" + match.group(3))
    return address & 0xFFFFFFFF


stepped = None
for _ in range(400):
    if store_target() == 0x400053FC:
        t0, n0 = clock()
        run("stepi")
        t1, n1 = clock()
        stepped = (n1 - n0, t1 - t0)
        break
    run("stepi")
check("found a store to the display port", stepped is not None)
if stepped:
    check("stepi over it executes one instruction", stepped[0] == 1, str(stepped))
    check("and virtual time moves by that store only (0 < dt <= 200 ns)",
          0 < stepped[1] <= 200000, str(stepped))

# An interrupt handler: its backtrace reaches the interrupted main-loop code through the
# exception frame.
run("break SysTickIntHandler")
resume()
check("stop in SysTickIntHandler", function() == "SysTickIntHandler", function())
backtrace = run("bt")
check("bt crosses the exception frame", "<signal handler called>" in backtrace, backtrace)
check("and reaches main", "main" in backtrace.split("<signal handler called>")[-1], backtrace)

# Backwards: the inputs all come from inside the simulator, so a copy of the run replays it.
tick = snapshot("tick.bin")
resume()
check("on to the next tick", clock()[1] > tick[0][1], str(clock()))
stop = resume("reverse-continue")
back = snapshot("back.bin")
check("reverse-continue back to the previous tick, exactly", isinstance(
    stop, gdb.BreakpointEvent) and back == tick, same(back, tick))
run("delete")
run("reverse-stepi")
check("reverse-stepi goes back to the interrupted instruction", function() != "SysTickIntHandler"
      and clock()[0] < tick[0][0], function() + " " + str(clock()))
run("stepi")
again = snapshot("again.bin")
check("and stepi forward again reaches the same state", again == tick, same(again, tick))
line = gdb.selected_frame().find_sal().line
run("next")
after_next = snapshot("next.bin")
run("reverse-next")
check("reverse-next comes back to the line", gdb.selected_frame().find_sal().line == line and
      clock()[1] < after_next[0][1], "%s %s" % (gdb.selected_frame().find_sal().line, clock()))
run("next")
again = snapshot("next.bin")
check("and next from there again reaches the same state", again == after_next,
      same(again, after_next))

# Back to the last write of Dev_1_AO10, across monitor commands and hundreds of stops. GDB
# stops in front of the store (the value still the old one); one step on is where the forward
# run stopped for it.
run("watch Dev_1_AO10.value")
stop = resume("reverse-continue")
check("reverse-continue to the watchpoint's previous hit", watch_stop(stop) and
      value("Dev_1_AO10.value") == 0 and clock()[1] < at_write[0][1], str(clock()))
run("stepi")
again = snapshot("rewrite.bin")
check("one step on: instructions, registers and RAM as the forward run had them",
      again == at_write, same(again, at_write))
run("delete")

print("SESSION " + ("PASSED" if not failures else "FAILED: " + ", ".join(failures)))
run("kill")
