#!/usr/bin/env python3
"""The pin trace of UART1, decoded by sigrok-cli (UART at 115200 8N1, then its Modbus RTU
decoder), must hold the frames the Modbus monitor logged: the same bytes in the same directions,
the same CRC verdicts, each ending where the monitor saw it end. Once for the host build and once
for the image on the emulated core.

usage: vcd_modbus_test.py PANEL_SIM IMAGE SCRIPT WORKDIR
"""
import os
import re
import shutil
import subprocess
import sys

BIT_NS = 1e9 / 115200
SAMPLE_NS = 100  # one sample in a hundred nanoseconds: 87 a bit


def fail(message):
    print("vcd_modbus: " + message)
    sys.exit(1)


def monitor_frames(path):
    """(end ms, direction, hex, verdict) of every frame the monitor logged."""
    frames = []
    for line in open(path):
        m = re.match(r"\s*([\d.]+) ms\s+(panel>module|module>panel)\s+([0-9A-F ]+?)\s+\|.*\|\s*(.+)$",
                     line)
        if m:
            frames.append((float(m.group(1)), m.group(2), m.group(3), m.group(4).strip()))
    return frames


def annotations(vcd, classes):
    """(start sample, end sample, text) of the decoder's annotations of these classes."""
    result = subprocess.run(
        ["sigrok-cli", "-i", vcd, "-I", "vcd:downsample=%d" % SAMPLE_NS,
         "-P", "uart:rx=PD2_U1RX:tx=PD3_U1TX:baudrate=115200:data_bits=8:parity=none:stop_bits=1,modbus",
         "-A", classes, "--protocol-decoder-samplenum"],
        capture_output=True, text=True)
    if result.returncode != 0:
        fail("sigrok-cli failed: " + result.stderr[:2000])
    out = []
    for line in result.stdout.splitlines():
        m = re.match(r"(\d+)-(\d+) \S+: (.*)$", line)
        if not m:
            fail("not a decoder line: " + line)
        out.append((int(m.group(1)), int(m.group(2)), m.group(3)))
    return out


def decoded_frames(vcd):
    """(end ms, direction, hex, CRC good) of every frame the Modbus decoder found."""
    tx = annotations(vcd, "uart=tx-data")
    rx = annotations(vcd, "uart=rx-data")
    fields = sorted(annotations(vcd, "modbus"))
    frames = []
    start = None
    for first, last, text in fields:
        start = first if start is None else start
        if not (text.startswith("CRC correct") or text.startswith("CRC should be")):
            continue
        inside = lambda stream: [b for s, e, b in stream if start <= s and e <= last]
        sent, received = inside(tx), inside(rx)
        if bool(sent) == bool(received):
            fail("a frame at sample %d has bytes in %s" % (start, "both directions" if sent else "neither direction"))
        frames.append((last * SAMPLE_NS / 1e6, "panel>module" if sent else "module>panel",
                       " ".join(sent or received), text.startswith("CRC correct")))
        start = None
    return frames


def check(panel_sim, image, script, workdir, name):
    vcd = os.path.join(workdir, name + ".vcd")
    log = os.path.join(workdir, name + ".modbus.log")
    command = [panel_sim, "--script", script, "--modbus-log", log, "--vcd", vcd, "--vcd-groups", "uart"]
    if image:
        command += ["--image", image]
    run = subprocess.run(command, capture_output=True, text=True)
    if run.returncode != 0:
        fail("%s: panel-sim failed (%d): %s%s" % (name, run.returncode, run.stdout, run.stderr))
    logged = monitor_frames(log)
    decoded = decoded_frames(vcd)
    if len(logged) < 10:
        fail("%s: the monitor logged only %d frames" % (name, len(logged)))
    if not any(v == "CRC error" for *_, v in logged) or not any(v == "exception" for *_, v in logged):
        fail("%s: the run should hold a CRC error and an exception answer" % name)
    if [(d, h) for _, d, h, _ in decoded] != [(d, h) for _, d, h, _ in logged]:
        for i, (a, b) in enumerate(zip(decoded, logged)):
            if a[1:3] != b[1:3]:
                fail("%s: frame %d differs:\n  sigrok:  %s %s\n  monitor: %s %s" % (name, i, a[1], a[2], b[1], b[2]))
        fail("%s: sigrok found %d frames, the monitor %d" % (name, len(decoded), len(logged)))
    for (end, _, hex_, good), (logged_end, _, _, verdict) in zip(decoded, logged):
        if good != (verdict != "CRC error"):
            fail("%s: %s: sigrok's CRC %s, the monitor's verdict %s" % (name, hex_, "good" if good else "bad", verdict))
        # The decoder's last field ends with the last data bit, the monitor's frame with the stop
        # bit (or at the character time the line tap counts): within two bits of each other.
        if abs(end - logged_end) * 1e6 > 2 * BIT_NS:
            fail("%s: %s ends at %.4f ms in the trace, at %.3f ms in the monitor" % (name, hex_, end, logged_end))
    print("vcd_modbus: %s: %d frames decoded from the trace as the monitor logged them" % (name, len(decoded)))


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    panel_sim, image, script, workdir = sys.argv[1:]
    if shutil.which("sigrok-cli") is None:
        fail("sigrok-cli is missing (Debian package sigrok-cli): it decodes the trace")
    if not os.path.isfile(image):
        fail("the target image %s is missing (build the target-release preset first)" % image)
    os.makedirs(workdir, exist_ok=True)
    check(panel_sim, None, script, workdir, "host")
    check(panel_sim, image, script, workdir, "image")
    return 0


if __name__ == "__main__":
    sys.exit(main())
