#!/usr/bin/env python3
"""zxplay's costs as a user meets them, on a private X display (Xvfb):

- CPU at normal speed: zxplay playing a film in a loop for --seconds, its
  user and system time over that span (from /proc) as a share of one core,
  and the X server's beside it (it copies every picture drawn);
- frames at MAX: frames stepped and pictures drawn a second at the speed
  MAX, against a 60 Hz display;
- seek latency: keys (Right, Left, Up, Down, End, Home, Page Down) and
  clicks at random places of the seek bar, each timed from SDL's taking the
  input to the new picture on screen (the player's own "presented" line).

    bench/zxplay_bench.py --zxplay build/native/zxplay/zxplay FILM...

Films of your own, or from make_screen.py and zxtool make (see README.md).
"""
import argparse, os, queue, random, statistics, subprocess, sys, tempfile, threading, time

TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid, task=None):
    path = f"/proc/{pid}/task/{task}/stat" if task else f"/proc/{pid}/stat"
    with open(path) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK  # utime, stime


def threads(pid):
    """CPU seconds by thread name: the player's main thread, Mesa's software
    rasterizer (llvmpipe-N, what a graphics card does on a desktop), the
    rest."""
    out = {}
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/comm") as f:
                name = f.read().strip()
            kind = ("main" if task == str(pid) else
                    "rasterizer" if name.startswith("llvmpipe") else "other")
            out[kind] = out.get(kind, 0) + cpu_seconds(pid, task)
        except OSError:
            pass
    return out


class Display:
    def __init__(self, size):
        r, w = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", size + "x24",
                                      "-nolisten", "tcp"], pass_fds=(w,),
                                     stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r, "rb") as f:
            self.name = ":" + f.readline().strip().decode()

    def close(self):
        self.proc.terminate()
        self.proc.wait()


class Player:
    def __init__(self, zxplay, display, args, hook):
        env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy", ZXPLAY_TEST_HOOK=hook)
        self.display = display
        self.proc = subprocess.Popen([zxplay] + args, stdout=subprocess.PIPE, text=True, env=env)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.split())

    def expect(self, first, limit=60):
        end = time.monotonic() + limit
        while time.monotonic() < end:
            try:
                words = self.lines.get(timeout=1)
            except queue.Empty:
                continue
            if words[:1] == [first]:
                return words
        raise SystemExit(f"zxplay never printed {first}")

    def drain(self):
        n = 0
        while not self.lines.empty():
            self.lines.get()
            n += 1
        return n

    def window(self):
        for _ in range(600):
            r = subprocess.run(["xdotool", "search", "--name", "^zxplay"], capture_output=True,
                               text=True, env=dict(os.environ, DISPLAY=self.display))
            if r.stdout.split():
                return r.stdout.split()[-1]
            time.sleep(0.05)
        raise SystemExit("no zxplay window")

    def xdo(self, *args):
        subprocess.run(["xdotool"] + list(args), check=True,
                       env=dict(os.environ, DISPLAY=self.display))

    def quit(self):
        self.proc.terminate()
        self.proc.wait()


def normal_speed(a, display, film, hook):
    p = Player(a.zxplay, display.name, [film, "--loop"], hook)
    p.expect("state")
    time.sleep(2)  # past the window's first sizing
    c0, x0, t0 = threads(p.proc.pid), cpu_seconds(display.proc.pid), time.monotonic()
    time.sleep(a.seconds)
    c1, x1, t1 = threads(p.proc.pid), cpu_seconds(display.proc.pid), time.monotonic()
    p.quit()
    span = t1 - t0
    share = {k: 100 * (c1.get(k, 0) - c0.get(k, 0)) / span for k in c1}
    share["X server"] = 100 * (x1 - x0) / span
    return share


def at_max(a, display, film, hook):
    start = time.monotonic()
    p = Player(a.zxplay, display.name, [film, "--loop", "--speed", "max"], hook)
    p.expect("state")
    time.sleep(1)
    p.drain()
    t0 = time.monotonic()
    time.sleep(a.seconds)
    frames = p.drain()  # a state line a frame
    span = time.monotonic() - t0
    # q closes the window between press and release: xdotool's complaint
    # about the release is no failure.
    subprocess.run(["xdotool", "key", "--window", p.window(), "q"], stderr=subprocess.DEVNULL,
                   env=dict(os.environ, DISPLAY=display.name))
    words = p.expect("presents")
    p.proc.wait()
    return frames / span, int(words[1]) / (time.monotonic() - start)


def latency(a, display, film, hook):
    p = Player(a.zxplay, display.name, [film], hook)
    p.expect("state")
    win = p.window()
    p.xdo("key", "--window", win, "space")
    p.expect("state")
    time.sleep(1)
    rng = random.Random(1)
    keys = ["Right", "Left", "Up", "Down", "End", "Home", "Page_Down", "Page_Up"]
    times = {"key": [], "click": []}
    for i in range(a.seeks):
        p.drain()
        if i % 2 == 0:
            p.xdo("key", "--window", win, keys[i // 2 % len(keys)])
            kind = "key"
        else:
            r = subprocess.run(["xdotool", "getwindowgeometry", "--shell", win], capture_output=True,
                               text=True, env=dict(os.environ, DISPLAY=display.name)).stdout
            g = dict(l.split("=") for l in r.split())
            w, h = int(g["WIDTH"]), int(g["HEIGHT"])
            p.xdo("mousemove", "--window", win, str(rng.randrange(w)), str(h - 5), "click", "1")
            kind = "click"
        words = p.expect("presented")
        times[kind].append(int(words[3]))
        if a.verbose:
            print(f"    {kind} {keys[i // 2 % len(keys)] if kind == 'key' else ''}: {words[1:]}")
    p.quit()
    return times


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zxplay", required=True)
    ap.add_argument("--screen", default="1920x1200")
    ap.add_argument("--seconds", type=float, default=20)
    ap.add_argument("--seeks", type=int, default=80)
    ap.add_argument("--verbose", action="store_true")
    ap.add_argument("films", nargs="+")
    a = ap.parse_args()
    display = Display(a.screen)
    hook = tempfile.mktemp(prefix="zxplay_bench_", suffix=".ppm")
    try:
        for film in a.films:
            print(f"{film}:")
            share = normal_speed(a, display, film, hook)
            print("  normal speed, % of a core: " +
                  ", ".join(f"{k} {v:.2f}" for k, v in sorted(share.items())))
            stepped, presents = at_max(a, display, film, hook)
            print(f"  at MAX: {stepped:.0f} frames a second stepped, {presents:.0f} pictures "
                  f"drawn a second (display: 60 Hz)")
            times = latency(a, display, film, hook)
            for kind, t in times.items():
                t.sort()
                print(f"  seek by {kind}: median {statistics.median(t)} ms, "
                      f"90th {t[int(len(t) * 0.9) - 1]} ms, worst {t[-1]} ms ({len(t)} seeks)")
    finally:
        display.close()
        if os.path.exists(hook):
            os.remove(hook)


if __name__ == "__main__":
    sys.exit(main())
