#!/usr/bin/env python3
"""zxplay in a private X display (Xvfb): what its window shows of a frame,
read back through its test hook, against zxtool export --hash, after play,
pause, frame steps, seeks by key, by a click and a drag on the bar and
segment changes; full screen, --loop, a film dropped on an empty window; a
bad film, damaged sound and an interrupt, with the temporary files gone
after each; the sound SDL's disk audio driver takes from it, in step with
the picture, and muted. Waits for the states the player prints, never for
a time alone."""
import argparse, array, os, queue, shutil, signal, subprocess, sys, tempfile, threading, time

LIMIT = 120  # seconds: a bound for a hung program, not a pace

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zxplay", required=True)
    ap.add_argument("--zxtool", required=True)
    ap.add_argument("--drop", required=True)  # xdnd_drop
    ap.add_argument("--demo")  # the recorded demo film, where the build made it
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

def PlayerEnv(work, display, tmp):
    return dict(os.environ, DISPLAY=display, SDL_RENDER_DRIVER="software",
                SDL_VIDEODRIVER="x11", SDL_AUDIODRIVER="dummy", TMPDIR=tmp,
                ZXPLAY_TEST_HOOK=os.path.join(work, "shot.ppm"))

class Player:
    def __init__(self, a, work, display, args, tmp, audio=None):
        env = PlayerEnv(work, display, tmp)
        if audio:  # the sound as raw samples in this file
            env.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=audio)
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

    def next(self):
        """The next line, whatever it is, but for the timing of the pictures
        shown after an input (for the benchmark) and the sound's corrections
        of a drift from the picture (which a loaded machine may cause)."""
        while True:
            words = self.lines.get(timeout=LIMIT)
            if words[:1] not in (["presented"], ["resync"]):
                return words

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

LOUD = 2000  # of 32767: the tone is at full scale, silence is 0

def Samples(path, channels):
    """The first channel of the 16-bit samples (the machine's order) in path."""
    a = array.array("h")
    with open(path, "rb") as f:
        data = f.read()
    a.frombytes(data[:len(data) // 2 * 2])
    return a[::channels]

def Frequency(x, rate, at, seconds=0.1):
    """Hz from the zero crossings of x within seconds from sample at."""
    w = x[at:at + int(rate * seconds)]
    crossings = sum(1 for i in range(1, len(w)) if (w[i - 1] < 0) != (w[i] < 0))
    return crossings / 2 / (len(w) / rate) if len(w) > 1 else 0

def Onset(x, rate, start=0):
    """The first loud sample from start on after 20 ms of silence (or at
    the file's start): where a sound starts, not a stretch of one going on."""
    quiet = 0
    for i in range(start, len(x)):
        if abs(x[i]) <= LOUD:
            quiet += 1
        elif quiet >= rate // 50 or (start == 0 and i == quiet):
            return i
        else:
            quiet = 0
    return None

def Heard(path, channels, rate, start=0, seconds=0.2):
    """The samples of path and the onset of a sound from start on, once
    seconds of it are there (None before)."""
    if not os.path.exists(path):
        return [], None
    x = Samples(path, channels)
    at = Onset(x, rate, start)
    return x, at if at is not None and len(x) - at > rate * seconds else None

def WaitHeard(path, channels, rate, start=0):
    end = time.monotonic() + LIMIT
    x, at = Heard(path, channels, rate, start)
    while at is None and time.monotonic() < end:
        time.sleep(0.05)
        x, at = Heard(path, channels, rate, start)
    return x, at

def SoundCase(a, work, display, tmp):
    """A rising tone, 200 Hz at 0 s to 1200 Hz at 5 s (200 + 200 t): its
    frequency tells from where in the segment's sound a stretch comes."""
    tone = os.path.join(work, "tone.wav")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                    "aevalsrc=sin(2*PI*(200*t+100*t*t)):s=44100:d=5", "-y", tone], check=True)
    frames = os.path.join(work, "frames.bgra")
    with open(frames, "wb") as f:
        for k in range(50):
            f.write(bytes([k * 5 % 256, 40, 200 - k * 3, 255]) * 16 * 16)
    film = os.path.join(work, "tone.zxf")
    subprocess.run([a.zxtool, "make", "--raw", "16x16", "--input", frames, "--fps", "10",
                    "--sound", tone, "-o", film], check=True, capture_output=True)
    audio = os.path.join(work, "audio.raw")

    # From 2 s on: the first sound heard is from around 2 s (600 Hz), not 0 s.
    p = Player(a, work, display, [film, "--start", "2s", "--loop"], tmp, audio)
    words = p.expect(["audio"])
    rate, channels = int(words[1]), int(words[2])
    check("the audio device takes 16-bit samples", words[3] == "s16")
    words = p.expect(["sound", "1"])
    check(f"--start 2s: the sound starts at frame 20, sample {2 * rate}",
          words[2:4] == ["20", str(2 * rate)])
    p.expect(["state", "playing", "1", "23"])
    p.find_window()
    x, first = WaitHeard(audio, channels, rate)
    p.key("space")
    p.expect(["state", "paused", "1"])
    check("--start 2s: sound heard", first is not None)
    if first is not None:
        hz = Frequency(x, rate, first + rate // 100)
        check(f"--start 2s: the first sound heard is from about 2 s of the tone ({hz:.0f} Hz)",
              480 < hz < 800)
    # Home while paused, then on: the sound starts again from 0 s.
    p.key("Home")
    p.expect(["state", "paused", "1", "0"])
    p.key("space")
    p.expect(["state", "playing", "1", "0"])
    words = p.next()
    check("resumed at the start: the sound starts again at sample 0",
          words == ["sound", "1", "0", "0"])
    # Paused, the device played silence: the next onset is the new start.
    x, later = WaitHeard(audio, channels, rate, (first or 0) + rate // 10)
    hz = Frequency(x, rate, later + rate // 100) if later is not None else 0
    check(f"after Home: the sound heard is from about 0 s of the tone ({hz:.0f} Hz)",
          150 < hz < 400)
    # Faster than normal: silent, no sound started.
    p.key("bracketright")
    p.expect(["state", "playing", "1", None, "4"])
    words = p.next()
    check("at 2x no sound starts", words[0] == "state")
    p.key("bracketleft")
    words = p.expect(["state", "playing", "1", None, "3"])
    expected = ["sound", "1", words[3], str(int(words[3]) * rate // 10)]
    words = p.next()
    check("back at normal speed the sound starts again from the frame shown",
          words == expected)
    # Muted no sound starts; unmuted it starts from the frame shown.
    p.key("m")
    p.expect(["state", "playing", "1", None, "3", "muted"])
    words = p.next()
    check("muted: no sound starts", words[0] == "state")
    p.key("m")
    words = p.expect(["state", "playing", "1", None, "3", "sound"])
    expected = ["sound", "1", words[3], str(int(words[3]) * rate // 10)]
    check("unmuted: the sound starts again from the frame shown", p.next() == expected)
    p.key("q", quits=True)
    code, err = p.finish()
    said = [l for l in err.splitlines() if l.startswith("zxplay")]  # SDL's own aside
    if code != 0 or said:
        print(err)
    check("the tone film: exit 0 and zxplay says nothing", code == 0 and not said)
    check("the tone film: no temporary files", os.listdir(tmp) == [])

def TextLineShown(p):
    """Whether the text line over the seek bar (the 11 rows above the bar's
    11, at the window's foot) holds any of the text's light grey."""
    env = dict(os.environ, DISPLAY=p.display)
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", p.window],
                              capture_output=True, text=True, env=env).stdout
    g = dict(l.split("=") for l in geometry.split())
    w, h = int(g["WIDTH"]), int(g["HEIGHT"])
    rgb = subprocess.run(["import", "-window", p.window, "-depth", "8", "rgb:-"],
                         capture_output=True, env=env).stdout
    if len(rgb) != w * h * 3:
        raise AssertionError(f"import gave {len(rgb)} bytes of a {w} x {h} window")
    rows = rgb[(h - 22) * w * 3:(h - 11) * w * 3]
    return any(rows[i:i + 3] == b"\xe6\xe6\xe6" for i in range(0, len(rows), 3))

def RecordedCase(a, work, display, tmp):
    """The demo film, recorded from a real desktop scene: paused while it
    plays, a frame on, and a seek by key, as zxtool export renders them."""
    hashes = Hashes(a, a.demo)
    p = Player(a, work, display, [a.demo], tmp)
    p.expect(["state", "playing", "1", "10"])
    p.find_window()

    def shown(what):
        words = p.shot()
        end = time.monotonic() + LIMIT
        while words[4:6] != ["742", "419"] and time.monotonic() < end:
            words = p.shot()
        check(f"recorded film, {what}: frame {words[2]} as exported",
              hashes.get((int(words[1]), int(words[2]))) == words[3])

    p.key("space")
    p.expect(["state", "paused", "1"])
    shown("paused")
    check("recorded film, paused: the line over the bar shows", TextLineShown(p))
    p.key("period")
    p.expect(["state", "paused", "1"])
    shown("a frame on")
    p.key("Right")
    p.expect(["state", "paused", "1"])
    shown("5 s on")
    # Played on for 20 frames, the window sent only what changed at each
    # of their 60 ticks: the picture is still the frame's whole.
    p.key("space")
    words = p.expect(["state", "playing", "1"])
    p.expect(["state", "playing", "1", str(int(words[3]) + 20)])
    p.key("space")
    p.expect(["state", "paused", "1"])
    shown("played on")
    # Playing, the line hides a moment after the last key.
    p.key("space")
    p.expect(["state", "playing", "1"])
    end = time.monotonic() + LIMIT
    while TextLineShown(p) and time.monotonic() < end:
        time.sleep(0.1)
    check("recorded film, playing: the line over the bar hides", not TextLineShown(p))
    p.key("q", quits=True)
    code, err = p.finish()
    check("recorded film: exit 0, no temporary files", code == 0 and os.listdir(tmp) == [])

def DamagedSoundCase(a, work, display, tmp):
    """Sound data that holds no MPEG audio behind its first frame header: the
    pictures play, and the player says once that the segment is silent."""
    frames = os.path.join(work, "grey.bgra")
    with open(frames, "wb") as f:
        f.write(bytes([90, 90, 90, 255]) * 16 * 16 * 10)
    sound = os.path.join(work, "damaged.mp3")
    with open(sound, "wb") as f:
        f.write(bytes([0xFF, 0xF3, 0x44, 0xC4]) + bytes(3000))
    film = os.path.join(work, "damaged.zxf")
    subprocess.run([a.zxtool, "make", "--raw", "16x16", "--input", frames, "--fps", "10",
                    "--sound", sound, "-o", film], check=True, capture_output=True)
    p = Player(a, work, display, [film, "--close-on-finish"], tmp)
    p.expect(["state", "finished", "1", "9"])
    code, err = p.finish()
    said = [l for l in err.splitlines() if l.startswith("zxplay")]
    check(f"damaged sound: the pictures play to the end (exit {code})", code == 0)
    check(f"damaged sound: said once {said}",
          said == [f"zxplay: {film}, segment 1 plays without sound: "
                   "its MP3 data holds no MPEG audio frames"])
    check("damaged sound: no temporary files", os.listdir(tmp) == [])

def ExitPathsCase(a, work, film, tmp):
    """The ways out that skip the window's own: the display lost and a closed
    standard output. The temporary files go on each."""
    display = Display()
    p = Player(a, work, display.name, [film, "--loop"], tmp)
    p.expect(["state", "playing", "1"])
    display.close()
    code, err = p.finish()
    check(f"the display lost: exit {code}, no temporary files {os.listdir(tmp)}",
          code != 0 and os.listdir(tmp) == [])

    # Nothing reads what the player prints: it plays on until Ctrl-C.
    display = Display()
    try:
        proc = subprocess.Popen([a.zxplay, film, "--loop"], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=PlayerEnv(work, display.name, tmp))
        proc.stdout.readline()
        proc.stdout.close()
        # Each picture read back is a line printed without a reader.
        shot = os.path.join(work, "shot.ppm")
        for _ in range(3):
            if os.path.exists(shot):
                os.remove(shot)
            proc.send_signal(signal.SIGUSR1)
            deadline = time.monotonic() + LIMIT
            while not os.path.exists(shot) and proc.poll() is None and \
                    time.monotonic() < deadline:
                time.sleep(0.05)
        time.sleep(0.2)
        playing = proc.poll() is None
        proc.send_signal(signal.SIGINT)
        proc.wait(timeout=LIMIT)
        check(f"standard output closed: plays on ({playing}), Ctrl-C ends it "
              f"(exit {proc.returncode}), no temporary files {os.listdir(tmp)}",
              playing and proc.returncode == 130 and os.listdir(tmp) == [])
        proc.stderr.close()
    finally:
        display.close()

def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)

def CommandLineCase(a):
    """--help, --version and a wrong option, before any window opens."""
    r = subprocess.run([a.zxplay, "--help"], capture_output=True, text=True)
    check("--help: exit 0, every option and the keys",
          r.returncode == 0 and all(o in r.stdout for o in (
              "--segment", "--speed", "--start", "--fullscreen", "--loop", "--close-on-finish",
              "Space pause")))
    r = subprocess.run([a.zxplay, "--version"], capture_output=True, text=True)
    check(f"--version: {r.stdout.strip()}", r.returncode == 0 and r.stdout.startswith("zxplay "))
    r = subprocess.run([a.zxplay, "--frob"], capture_output=True, text=True)
    check("an unknown option: exit 2, named",
          r.returncode == 2 and r.stderr == "zxplay: unknown option --frob; see zxplay --help\n")
    r = subprocess.run([a.zxplay, "--speed", "7", "x.zxf"], capture_output=True, text=True)
    check("a speed the player has not: exit 2", r.returncode == 2 and "--speed 7" in r.stderr)

def Run(a, work):
    CommandLineCase(a)
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
            end = time.monotonic() + LIMIT
            while tuple(words[4:6]) != sizes[int(words[1])]:
                if time.monotonic() > end:
                    raise AssertionError(f"{what}: still shown at {words[4]} x {words[5]}")
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
        # A drag: pressed at x 20 (0.75 s, frame 7), let go at x 120 (4.53 s:
        # segment 2, frame 5); the picture follows on the way. Segment 1's
        # bar is rows 131 .. 141 of its window (120 + 22 rows).
        p.xdo("mousemove", "--window", p.window, "20", "136", "mousedown", "1")
        p.expect(["state", "paused", "1", "7"])
        for x in (60, 100, 120):
            p.xdo("mousemove", "--window", p.window, str(x), "136")
        p.expect(["state", "paused", "2", "5"])
        p.xdo("mouseup", "1")
        shown(p, "dragged on the bar")
        p.key("End")
        p.expect(["state", "paused", "2", "19"])
        shown(p, "End")
        p.key("Down")  # a minute back: the start
        p.expect(["state", "paused", "1", "0"])
        p.key("Up")  # a minute on: past the end, the last frame
        p.expect(["state", "paused", "2", "19"])
        # Full screen: the picture scaled to the screen (800 x 600 with the
        # 22 rows of the panel under it), its shape kept; back at its size.
        p.key("f")
        words = p.shot()
        end = time.monotonic() + LIMIT
        while words[4:6] == ["97", "61"] and time.monotonic() < end:
            words = p.shot()
        check(f"full screen: 97 x 61 shown as {words[4]} x {words[5]} (800 x 503)",
              words[4:6] == ["800", "503"])
        p.key("f")
        shown(p, "back from full screen")
        p.key("Home")
        p.expect(["state", "paused", "1", "0"])
        p.xdo("mousemove", "--window", p.window, "80", "136", "click", "1")
        p.expect(["state", "paused", "1", "30"])
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

        # --loop: from the film's end back to its start.
        p = Player(a, work, display.name, [film, "--segment", "2", "--start", "19f", "--loop"],
                   tmp)
        p.expect(["state", "playing", "2", "19"])
        words = p.next()
        check(f"--loop: after the last frame the first ({' '.join(words)})",
              words[:4] == ["state", "playing", "1", "0"])
        p.find_window()
        p.key("Escape", quits=True)
        code, err = p.finish()
        check("Escape quits with 0", code == 0)

        # No film: a window that takes one dropped on it.
        p = Player(a, work, display.name, [], tmp)
        p.find_window()
        r = subprocess.run([a.drop, p.window, film], capture_output=True, text=True,
                           env=dict(os.environ, DISPLAY=display.name))
        check(f"a film dropped on the empty window is taken {r.stderr.strip()}",
              r.returncode == 0)
        p.expect(["state", "playing", "1", "0"])
        p.key("space")
        p.expect(["state", "paused", "1"])
        shown(p, "the dropped film, paused")
        p.key("q", quits=True)
        code, err = p.finish()
        check("the dropped film: exit 0, no temporary files", code == 0 and os.listdir(tmp) == [])

        # A picture larger than the screen: the window fits the screen, the
        # picture in it smaller with its shape kept (1000 x 700 in 800 x 578).
        big = os.path.join(work, "big.bgra")
        with open(big, "wb") as f:
            for k in range(2):
                f.write(bytes([k * 90, 60, 200, 255]) * 1000 * 700)
        bigfilm = os.path.join(work, "big.zxf")
        subprocess.run([a.zxtool, "make", "--raw", "1000x700", "--input", big, "--fps", "10",
                        "-o", bigfilm], check=True, capture_output=True)
        p = Player(a, work, display.name, [bigfilm, "--loop"], tmp)
        p.expect(["state", "playing", "1"])
        words = p.shot()
        end = time.monotonic() + LIMIT
        while words[4:6] != ["800", "560"] and time.monotonic() < end:
            words = p.shot()
        check(f"1000 x 700 on an 800 x 600 screen: shown as {words[4]} x {words[5]} (800 x 560)",
              words[4:6] == ["800", "560"])
        p.proc.send_signal(signal.SIGTERM)
        p.finish()

        ExitPathsCase(a, work, film, tmp)
        if shutil.which("ffmpeg"):
            DamagedSoundCase(a, work, display.name, tmp)
        if a.demo and os.path.exists(a.demo):
            RecordedCase(a, work, display.name, tmp)
        else:
            print("skipped the recorded film: the build records it (scripts/make-demo)")

        if shutil.which("ffmpeg"):
            SoundCase(a, work, display.name, tmp)
        else:
            print("skipped the sound: ffmpeg is not installed (scripts/setup installs it)")
    finally:
        display.close()
    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0

if __name__ == "__main__":
    sys.exit(main())
