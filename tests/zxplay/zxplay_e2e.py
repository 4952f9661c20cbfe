#!/usr/bin/env python3
"""zxplay in a private X display (Xvfb): what its window shows of a frame,
read back through its test hook, against zxtool export --hash, after play,
pause, frame steps, seeks by key and by a click on the bar and segment
changes; a bad film and an interrupt, with the temporary files gone after
each. Waits for the states the player prints, never for a time alone."""
import argparse, os, queue, shutil, signal, subprocess, sys, tempfile, threading, time

LIMIT = 120  # seconds: a bound for a hung program, not a pace

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zxplay", required=True)
    ap.add_argument("--zxtool", required=True)
    a = ap.parse_args()
    for tool in ("Xvfb", "xdotool"):
        if shutil.which(tool) is None:
            print(f"skipped: {tool} is not installed (scripts/setup installs it)")
            return 77
    work = tempfile.mkdtemp(prefix="zxplay_e2e_")
    try:
        return Run(a, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)

class Display:
    def __init__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "800x600x24",
                                      "-nolisten", "tcp"], pass_fds=(w,),
                                     stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        with os.fdopen(r, "rb") as f:
            number = f.readline().strip()
        if not number:
            raise SystemExit("Xvfb did not start")
        self.name = ":" + number.decode()

    def close(self):
        self.proc.terminate()
        self.proc.wait()

class Player:
    def __init__(self, a, work, display, args, tmp):
        env = dict(os.environ, DISPLAY=display, SDL_RENDER_DRIVER="software",
                   SDL_VIDEODRIVER="x11", SDL_AUDIODRIVER="dummy", TMPDIR=tmp,
                   ZXPLAY_TEST_HOOK=os.path.join(work, "shot.ppm"))
        self.display = display
        self.proc = subprocess.Popen([a.zxplay] + args, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=env, text=True)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self.window = None

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.split())

    def expect(self, what):
        """The next line that starts with what[0] and matches what (None: any)."""
        end = time.monotonic() + LIMIT
        while time.monotonic() < end:
            try:
                words = self.lines.get(timeout=1)
            except queue.Empty:
                if self.proc.poll() is not None:
                    break
                continue
            if words and words[0] == what[0] and all(
                    w is None or w == x for w, x in zip(what, words)):
                return words
        raise AssertionError(f"zxplay never printed {what}")

    def find_window(self):
        end = time.monotonic() + LIMIT
        while time.monotonic() < end:
            r = subprocess.run(["xdotool", "search", "--name", "^zxplay"], capture_output=True,
                               text=True, env=dict(os.environ, DISPLAY=self.display))
            ids = r.stdout.split()
            if ids:
                self.window = ids[-1]  # the newest
                return
            time.sleep(0.05)
        raise AssertionError("no zxplay window")

    def xdo(self, *args):
        subprocess.run(["xdotool"] + list(args), check=True,
                       env=dict(os.environ, DISPLAY=self.display))

    def key(self, name, quits=False):
        # A key that quits closes the window between its press and release:
        # xdotool then fails on the release, which is no failure here.
        r = subprocess.run(["xdotool", "key", "--window", self.window, name],
                           stderr=subprocess.DEVNULL, env=dict(os.environ, DISPLAY=self.display))
        if r.returncode != 0 and not quits:
            raise AssertionError(f"xdotool could not send {name}")

    def shot(self):
        self.proc.send_signal(signal.SIGUSR1)
        return self.expect(["shot"])

    def finish(self):
        try:
            self.proc.wait(timeout=LIMIT)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise
        return self.proc.returncode, self.proc.stderr.read()

def Hashes(a, film):
    out = subprocess.run([a.zxtool, "export", film, "--hash"], check=True, capture_output=True,
                         text=True).stdout
    return {(int(s), int(f)): h for s, f, h in (l.split() for l in out.splitlines())}

failures = []

def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)

def Run(a, work):
    film = os.path.join(work, "sample.zxf")
    subprocess.run([a.zxtool, "sample", film], check=True, capture_output=True)
    hashes = Hashes(a, film)
    # Segment 1: 160 x 120, 40 frames; segment 2: 97 x 61, 20 frames; both 10 fps.
    display = Display()
    try:
        tmp = os.path.join(work, "tmp")
        os.mkdir(tmp)

        sizes = {1: ("160", "120"), 2: ("97", "61")}

        def shown(p, what):
            # The window takes each segment's size as it opens: the picture
            # read back is unscaled once the window system has resized it.
            words = p.shot()
            while tuple(words[4:6]) != sizes[int(words[1])]:
                words = p.shot()
            seg, frame = int(words[1]), int(words[2])
            check(f"{what}: segment {seg} frame {frame} as exported",
                  hashes.get((seg, frame)) == words[3])
            return seg, frame

        p = Player(a, work, display.name, [film], tmp)
        p.expect(["state", "playing", "1", "0"])
        p.find_window()
        p.key("space")
        words = p.expect(["state", "paused", "1"])
        k = int(words[3])
        check("pause keeps the frame", shown(p, "paused") == (1, k))
        p.key("period")
        p.expect(["state", "paused", "1", str(k + 1)])
        shown(p, "a frame on")
        p.key("comma")
        p.expect(["state", "paused", "1", str(k)])
        shown(p, "a frame back")
        p.key("Home")
        p.expect(["state", "paused", "1", "0"])
        shown(p, "Home")
        p.key("Right")  # 5 s: past segment 1's 4 s
        p.expect(["state", "paused", "2", "10"])
        shown(p, "5 s on")
        p.key("Page_Up")
        p.expect(["state", "paused", "2", "0"])
        p.key("Page_Up")
        p.expect(["state", "paused", "1", "0"])
        p.key("Page_Down")
        p.expect(["state", "paused", "2", "0"])
        shown(p, "next segment")
        # The bar is the last 11 rows of the window (160 x 61 + 22 for
        # segment 2): x 80 of 0 .. 159 stands for 80/159 of 6 s, frame 30 of
        # segment 1.
        p.find_window()
        p.xdo("mousemove", "--window", p.window, "80", "78", "click", "1")
        p.expect(["state", "paused", "1", "30"])
        shown(p, "click on the bar")
        p.key("space")
        p.expect(["state", "playing"])
        p.expect(["state", "playing", "2", "0"])  # plays into segment 2
        p.key("space")
        words = p.expect(["state", "paused", "2"])
        check("pause in segment 2", shown(p, "played on")[0] == 2)
        p.key("q", quits=True)
        code, err = p.finish()
        if code != 0:
            print(err)
        check("q quits with 0", code == 0)
        check("no temporary files after q", os.listdir(tmp) == [])

        # Ctrl-C and a termination request: the temporary files go too.
        for sig, code_wanted in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            p = Player(a, work, display.name, [film, "--loop"], tmp)
            p.expect(["state", "playing", "1", "0"])
            p.proc.send_signal(sig)
            code, err = p.finish()
            check(f"signal {sig}: exit {code_wanted}", code == code_wanted)
            check(f"signal {sig}: no temporary files", os.listdir(tmp) == [])

        # A film that is not one: a message, no crash, nothing left.
        bad = os.path.join(work, "bad.zxf")
        with open(bad, "wb") as f:
            f.write(b"not a film at all" * 10)
        p = Player(a, work, display.name, [bad, "--close-on-finish"], tmp)
        code, err = p.finish()
        check("a bad film: exit 1 with zxplay's message",
              code == 1 and err.startswith("zxplay: ") and "bad.zxf" in err)
        check("a bad film: no temporary files", os.listdir(tmp) == [])

        # --segment and --start, and the end of the film with --close-on-finish.
        p = Player(a, work, display.name, [film, "--segment", "2", "--start", "18f",
                                           "--close-on-finish"], tmp)
        p.expect(["state", "playing", "2", "18"])
        p.expect(["state", "finished", "2", "19"])
        code, err = p.finish()
        check("--close-on-finish: exit 0 at the end", code == 0)
    finally:
        display.close()
    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0

if __name__ == "__main__":
    sys.exit(main())
