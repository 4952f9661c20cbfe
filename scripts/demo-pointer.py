#!/usr/bin/env python3
"""Samples the pointer for the demo film: prints `tick,cursor,x,y` lines,
`rate` samples a second for `seconds` seconds. Cursor 1 (the I-beam) over
the terminals' windows (given as x,y,w,h), cursor 0 (the arrow) elsewhere."""
import subprocess
import sys
import time

seconds, rate = float(sys.argv[1]), int(sys.argv[2])
terminals = [tuple(int(v) for v in r.split(",")) for r in sys.argv[3:]]
start = time.monotonic()
last = None
for tick in range(int(seconds * rate)):
    delay = start + tick / rate - time.monotonic()
    if delay > 0:
        time.sleep(delay)
    shell = subprocess.run(["xdotool", "getmouselocation", "--shell"],
                           capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
    x, y = int(values.get("X", 0)), int(values.get("Y", 0))
    cursor = 1 if any(rx <= x < rx + rw and ry <= y < ry + rh
                      for rx, ry, rw, rh in terminals) else 0
    sample = (cursor, x, y)
    if sample != last:
        print(f"{tick},{cursor},{x},{y}", flush=True)
        last = sample
