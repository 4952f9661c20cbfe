#!/usr/bin/env python3
"""Endurance: the real player under Wine plays generated films at MAX speed
for a given time, cycling through Play, the next segment, Stop and Load of
the other film, and is watched from inside its process: no box may appear,
its memory and its kernel, GDI and USER object counts must stay within a
small bound of where they stood after the first cycles, temporary files
must not pile up. Prints the figures at the end.

    endurance.py [MINUTES]      (default 30; run by scripts/endurance)

Not part of the test suite: it runs on demand."""
import os
import sys
import time
import unittest

import zxe2e
from test_films import choose_in_dialog, open_file_dialog

MINUTES = float(sys.argv[1]) if len(sys.argv) > 1 else 30.0
MAX_POSITION = 8  # the speed slider's last position
MEMORY_SLACK = 16 << 20  # bytes the working set may grow beyond its settled size
OBJECT_SLACK = 16  # handles, GDI or USER objects beyond the settled counts


def films(test):
    a = test.make_film([zxe2e.Segment(frames=300, size=(320, 240), fps=10, title="A%d" % i,
                                      seed=i) for i in range(2)], name="a.zxf")
    b = test.make_film([zxe2e.Segment(frames=200, size=(200, 150), fps=10, samples=3,
                                      title="B%d" % i, seed=10 + i) for i in range(2)],
                       name="b.zxf")
    return a, b


def open_files(player):
    """The file descriptors the player's Unix process holds."""
    pids = player._processes(only_player=True)
    return len(os.listdir("/proc/%d/fd" % pids[0])) if pids else -1


class EnduranceTest(zxe2e.PlayerTestCase):
    def test_endurance(self):
        a, b = films(self)
        player = self.start(self.bare_player(), args=[zxe2e.windows_path(a.path)])
        s = player.wait_for(lambda s: s.playing, "the first film to play")
        x, y = player.slider_point("speedSlider", (8 + 54 * MAX_POSITION / 8) / 70)
        player.click(x, y)
        player.wait_for(lambda s: s["panel"]["speedPosition"] == MAX_POSITION, "MAX speed")
        samples, cycles, loads = [], 0, 0
        started = time.monotonic()
        end = started + MINUTES * 60
        current = a
        while time.monotonic() < end:
            cycles += 1
            player.key("F9")
            player.wait_for(lambda s: s.playing and s.frame > 20, "playing, cycle %d" % cycles)
            player.key("F5")
            player.wait_for(lambda s: s.playing and s.segment == 1 and s.frame > 20,
                            "the next segment, cycle %d" % cycles)
            player.key("F11")
            s = player.wait_for(lambda s: s.stopped, "Stop, cycle %d" % cycles)
            if cycles % 5 == 0:
                current = b if current is a else a
                choose_in_dialog(self, player, open_file_dialog(player), current.path)
                player.wait_for(lambda s: current.path.split(os.sep)[-1] in s["title"],
                                "Load of %s" % current.path)
                loads += 1
            s = player.state()
            p = s["process"]
            samples.append((time.monotonic() - started, p["workingSetBytes"], p["privateBytes"],
                            open_files(player), p["gdiObjects"], p["userObjects"],
                            p["ticksSkipped"], len(zxe2e.temp_files())))
        self.report(samples, cycles, loads)

    def report(self, samples, cycles, loads):
        settled = samples[min(len(samples) - 1, 10)]  # after the first cycles
        last = samples[-1]
        # Wine counts no GDI or USER objects per process (GetGuiResources
        # gives 0) and no kernel handles: the files the process holds open
        # stand for its handles.
        names = ("working set", "private bytes", "open files", "GDI objects", "USER objects")
        print("\nendurance: %.1f min, %d cycles, %d loads, MAX speed" %
              (last[0] / 60, cycles, loads))
        for i, name in enumerate(names, start=1):
            values = [s[i] for s in samples]
            print("  %-14s settled %12d  min %12d  max %12d  last %12d" %
                  (name, settled[i], min(values), max(values), last[i]))
        print("  ticks skipped (overruns): %d; temporary files at most %d, at the end %d" %
              (last[6], max(s[7] for s in samples), last[7]))
        sys.stdout.flush()
        for i, name in enumerate(names, start=1):
            slack = MEMORY_SLACK if i <= 2 else OBJECT_SLACK
            self.assertLessEqual(max(s[i] for s in samples[10:] or samples), settled[i] + slack,
                                 name + " grows")
        self.assertLessEqual(max(s[7] for s in samples), 8, "temporary files pile up")


if __name__ == "__main__":
    sys.argv[1:] = []
    unittest.main(argv=["endurance", "EnduranceTest"], verbosity=2)
