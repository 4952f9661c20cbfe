"""The end-to-end harness: the real reDiridi.exe under Wine, driven like a
person drives it and observed from inside its own process.

Every test gets a private Xvfb display and its own Wine virtual desktop on
it, so keyboard focus belongs to the test alone and maximising and full
screen behave as on Windows. zxinject.exe loads zxinspector.dll into the
player; the inspector connects back to the test over TCP and answers
"state" with the player's own description (play state, frame, panel texts,
menus, ...) and every visible dialog of the process (message boxes, the
about box, the open-file dialog). Keys and the mouse go in through
xdotool; the picture comes out of a screenshot of the display.

    class PlaysTest(zxe2e.PlayerTestCase):
        def test_pause(self):
            film = self.make_film([zxe2e.Segment(frames=40, fps=10)])
            player = self.start(self.pack(film))
            player.key("F9")
            player.wait_for(lambda s: s.playing, "playing")
            player.key("F10")
            player.wait_for(lambda s: s.paused, "paused")

    if __name__ == "__main__":
        zxe2e.main()

Any message box a test does not wait for (expect_box, allow_boxes) fails
the test at the next look at the state, with the box's caption and text.
Cleanup always closes or kills the player and its desktop, stops the
display and checks that the player left no temporary file behind.

Only the Python standard library is used. See README.md beside this file.
"""
import array
import contextlib
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import uuid
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")

# Where the built programs are; CTest sets these, the defaults suit a
# checkout built with scripts/build.
ZXTOOL = os.environ.get("ZXTOOL", os.path.join(ROOT, "build", "native", "zxtool"))
PLAYER = os.environ.get("ZX_PLAYER", os.path.join(ROOT, "build", "win32", "reDiridi.exe"))
INSPECTOR = os.environ.get(
    "ZX_INSPECTOR", os.path.join(ROOT, "build", "win32", "tests", "e2e", "zxinspector.dll"))
INJECT = os.environ.get(
    "ZX_INJECT", os.path.join(ROOT, "build", "win32", "tests", "e2e", "zxinject.exe"))

SCREEN = (1280, 1024)
STOPPED, PLAYING, PAUSED = 0, 1, 2
DEFAULT_TIMEOUT = 30.0  # seconds; only ever stops a hang

# The player's commands (WM_COMMAND identifiers), for Player.command.
CMD_EXIT, CMD_LOAD, CMD_PROPERTIES = 100, 101, 102
CMD_PLAY, CMD_PAUSE, CMD_STOP, CMD_SEGMENTS, CMD_PREV, CMD_NEXT = 110, 111, 112, 113, 114, 115
CMD_PANEL, CMD_FULL_SCREEN, CMD_HELP, CMD_ABOUT = 120, 121, 130, 131

WM_CLOSE = 0x0010


_TRACE = bool(os.environ.get("ZX_E2E_TRACE"))
_trace_start = time.monotonic()


def trace(text):
    """With ZX_E2E_TRACE=1 in the environment: a timed line on standard error."""
    if _TRACE:
        print("[%7.2f] %s" % (time.monotonic() - _trace_start, text), file=sys.stderr, flush=True)


class HarnessError(AssertionError):
    """The player or the harness did not do what a test needs; fails the test."""


class UnexpectedBox(HarnessError):
    """A message box or dialog appeared that the test did not wait for."""


class PlayerGone(HarnessError):
    """The player's process ended while the test still talked to it."""


# ---------------------------------------------------------------- environment

def _env():
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", os.path.join(ROOT, ".cache", "wine"))
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    return env


def missing_prerequisites():
    """Why the end-to-end tests cannot run here, or None."""
    for path in (PLAYER, INSPECTOR, INJECT, ZXTOOL):
        if not os.path.exists(path):
            return "not built: " + path
    for tool in ("wine", "wineserver", "winepath", "Xvfb", "xdotool", "xwd"):
        if shutil.which(tool) is None:
            return "not installed: " + tool
    return None


_wine_ready = False


def _prepare_wine():
    """One running wineserver for the prefix and Wine's services started,
    before any test starts two Wine programs at once (in an idle prefix one
    of two programs started together can exit at once)."""
    global _wine_ready
    if _wine_ready:
        return
    env = _env()
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        subprocess.run([os.path.join(ROOT, "scripts", "wine-prefix")], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    subprocess.run(["wineserver", "-p"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    subprocess.run([WINE_RUN, "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120, check=False)
    _wine_ready = True


_temp_dir = None


def wine_temp_dir():
    """Wine's %TEMP% as a Unix path (where the player unpacks its zxS_ files)."""
    global _temp_dir
    if _temp_dir is None:
        env = _env()
        win = subprocess.run([WINE_RUN, "cmd", "/c", "echo", "%TEMP%"], env=env,
                             stdin=subprocess.DEVNULL, capture_output=True, text=True,
                             timeout=120).stdout.strip()
        unix = subprocess.run(["winepath", "-u", win], env=env, capture_output=True, text=True,
                              timeout=120).stdout.strip()
        if not unix or not os.path.isdir(unix):
            raise HarnessError("cannot find Wine's temporary directory (%r, %r)" % (win, unix))
        _temp_dir = unix
    return _temp_dir


def temp_files():
    """The player's temporary files in Wine's %TEMP% now."""
    return {n for n in os.listdir(wine_temp_dir()) if n.startswith("zxS_")}


def windows_path(path):
    """A Unix path as Wine's programs see it (drive Z: is the root)."""
    path = os.path.abspath(path)
    z = os.path.join(_env()["WINEPREFIX"], "dosdevices", "z:")
    if os.path.islink(z) and os.readlink(z) == "/":
        return "Z:" + path.replace("/", "\\")
    out = subprocess.run(["winepath", "-w", path], env=_env(), capture_output=True, text=True,
                         timeout=60).stdout.strip()
    if not out:
        raise HarnessError("winepath gave no Windows path for " + path)
    return out


def _read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode(errors="replace").strip()
    except OSError:
        return ""


def run(*args, **kw):
    """Runs a program, failing with its standard error when it fails."""
    kw.setdefault("timeout", 300)
    result = subprocess.run([str(a) for a in args], capture_output=True, **kw)
    if result.returncode != 0:
        err = result.stderr.decode(errors="replace") if isinstance(result.stderr, bytes) \
            else result.stderr
        raise HarnessError("%s failed (%d): %s" % (" ".join(map(str, args)), result.returncode,
                                                   err.strip()))
    return result


# --------------------------------------------------------------- films, PNGs

def write_png(path, width, height, data, alpha=False):
    """A PNG of raw RGB (or RGBA with alpha=True) bytes, rows top to bottom."""
    bpp = 4 if alpha else 3
    stride = width * bpp
    if len(data) != stride * height:
        raise ValueError("%d bytes for a %dx%d picture" % (len(data), width, height))
    raw = b"".join(b"\0" + data[y * stride:(y + 1) * stride] for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body)))

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))


def pattern_frame(width, height, k, seed=0):
    """A picture that differs from every other frame k of the same seed (for
    k below 200) and from other seeds: a yellow bar that moves 4 pixels a
    frame over rows whose colour depends on the frame, the row and the seed."""
    bar_x, bar_w = (4 * k) % width, min(12, width)
    bar = bytes((250, 250, 40))
    rows = []
    for y in range(height):
        bg = bytes(((k * 9 + seed * 37) % 200, (y * 3 + seed * 50) % 256, (y + k * 5) % 256))
        row = bytearray(bg * width)
        for x in range(bar_x, bar_x + bar_w):
            xx = x % width
            row[xx * 3:xx * 3 + 3] = bar
        rows.append(bytes(row))
    return b"".join(rows)


def solid_rgba(width, height, rgba):
    return bytes(rgba) * (width * height)


class Segment:
    """One segment of a film to make.

    frames, size=(w, h), fps: the pictures; picture(k) -> RGB bytes of frame
    k (default: pattern_frame with this segment's seed, so that segments
    differ). title, samples (1 or 3), depth (32, 24, 8), compression, sound
    (an MP3 path, e.g. from PlayerTestCase.make_tone). cursors: a list of
    (rgba_bytes, width, height, (hot_x, hot_y)) written as PNG cursors;
    cursor_track: [(tick, cursor, x, y), ...] with tick = frame * samples +
    t. options: more `zxtool make` arguments for this segment."""

    def __init__(self, frames=30, size=(96, 64), fps=10, title=None, samples=1, depth=None,
                 compression=None, sound=None, cursors=(), cursor_track=None, picture=None,
                 seed=None, options=()):
        self.frames, self.size, self.fps, self.title = frames, tuple(size), fps, title
        self.samples, self.depth, self.compression, self.sound = samples, depth, compression, sound
        self.cursors, self.cursor_track, self.picture = list(cursors), cursor_track, picture
        self.seed, self.options = seed, list(options)

    @property
    def seconds(self):
        return self.frames / self.fps


class Film:
    """A film made by zxtool make, with what zxtool export renders of it."""

    def __init__(self, path, segments):
        self.path, self.segments = path, segments
        self._frames = {}

    def size(self, segment=0):
        return self.segments[segment].size

    def frames(self, segment=0, cursor=False):
        """Every frame of a segment as RGB24 bytes, as the player shows it."""
        key = (segment, cursor)
        if key not in self._frames:
            args = [ZXTOOL, "export", self.path, "-", "--segment", str(segment + 1)]
            if not cursor:
                args.append("--no-cursor")
            raw = run(*args).stdout
            w, h = self.size(segment)
            n = w * h * 3
            if len(raw) % n != 0 or len(raw) == 0:
                raise HarnessError("export gave %d bytes, not whole %dx%d frames" %
                                   (len(raw), w, h))
            self._frames[key] = [raw[i:i + n] for i in range(0, len(raw), n)]
        return self._frames[key]

    def frame_index(self, picture, segment=0, cursor=False):
        """The first frame of a segment equal to picture (RGB bytes), or None."""
        key = ("index", segment, cursor)
        if key not in self._frames:
            index = {}
            for k, f in enumerate(self.frames(segment, cursor)):
                index.setdefault(f, k)
            self._frames[key] = index
        return self._frames[key].get(picture)


# ------------------------------------------------------------------- sound

class Tone:
    """A sine whose pitch rises linearly: f(t) = f0 + slope * t. Which part
    of it was played tells which second of the film was playing."""

    def __init__(self, path, seconds, f0, slope, rate):
        self.path, self.seconds, self.f0, self.slope, self.rate = path, seconds, f0, slope, rate

    def pitch_at(self, second):
        return self.f0 + self.slope * second

    def second_of(self, pitch):
        return (pitch - self.f0) / self.slope


def make_tone(path, seconds, f0=200.0, slope=20.0, rate=22050):
    """An MP3 (mono, starting with a frame header: no tag, no Xing frame) of
    a tone rising from f0 Hz by slope Hz a second."""
    expr = "0.8*sin(2*PI*(%g*t+%g*t*t/2))" % (f0, slope / 1.0)
    run("ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        "aevalsrc=%s:s=%d:d=%g" % (expr, rate, seconds), "-ac", "1", "-ar", str(rate),
        "-b:a", "64k", "-id3v2_version", "0", "-write_xing", "0", path)
    return Tone(path, seconds, f0, slope, rate)


def read_samples(path, channels=1):
    """16-bit little-endian samples of a raw capture (the first channel)."""
    data = array.array("h")
    with open(path, "rb") as f:
        raw = f.read()
    data.frombytes(raw[:len(raw) - len(raw) % 2])
    if sys.byteorder != "little":
        data.byteswap()
    return data[::channels] if channels > 1 else data


def pitch(samples, rate, start=0.0, length=0.1, threshold=1000):
    """Frequency in Hz of samples[start s .. start + length s], from the
    times of its rising zero crossings (interpolated between samples) that
    follow a swing below -threshold, so quiet noise counts nothing; 0 for
    silence."""
    a, b = int(start * rate), int((start + length) * rate)
    window = samples[a:b]
    crossings, low = [], False
    for i in range(1, len(window)):
        v = window[i]
        if v < -threshold:
            low = True
        elif low and window[i - 1] < 0 <= v:
            crossings.append(i - 1 + (-window[i - 1]) / (v - window[i - 1]))
            low = False
    if len(crossings) < 2:
        return 0.0
    return (len(crossings) - 1) * rate / (crossings[-1] - crossings[0])


def tone_seconds(samples, rate, tone, length=0.1, threshold=1000):
    """[(capture second, tone second)] for each window of the capture that
    is sound throughout: windows with a silent stretch (the device also
    writes silence when the player is late with its buffers) are left
    out, as their pitch would be too low."""
    chunk = max(2, int(rate / tone.f0))  # a period of the lowest pitch
    out = []
    for start, hz in pitch_track(samples, rate, length, threshold):
        a, b = int(start * rate), int((start + length) * rate)
        window = samples[a:b]
        if all(max(abs(v) for v in window[i:i + chunk]) > threshold
               for i in range(0, len(window) - chunk + 1, chunk)):
            out.append((start, tone.second_of(hz)))
    return out


def pitch_track(samples, rate, length=0.1, threshold=1000):
    """[(start second, pitch)] over the whole capture, window by window."""
    n = len(samples) / rate
    return [(t * length, pitch(samples, rate, t * length, length, threshold))
            for t in range(int(n / length))]


class AlsaCapture:
    """An ALSA configuration whose default device writes all played sound
    to a file, as 16-bit samples at the sound's rate. The device is not
    held to real time (it consumes sound several times faster), so look at
    which part of a tone was played, not when. ALSA empties the file each
    time the device is opened: the player opens it for every segment it
    opens, Play after Stop included."""

    def __init__(self, directory, path=None):
        self.path = path or os.path.join(directory, "played.raw")
        self.config = os.path.join(directory, "alsa-capture-%d.conf" % id(self))
        with open(self.config, "w") as f:
            f.write('</usr/share/alsa/alsa.conf>\n'
                    'pcm.!default { type file slave.pcm "null" file "%s" format "raw" }\n'
                    'ctl.!default { type hw card 0 }\n' % self.path)

    def samples(self, channels=1):
        if not os.path.exists(self.path):
            return array.array("h")
        return read_samples(self.path, channels)

    def bytes(self):
        return os.path.getsize(self.path) if os.path.exists(self.path) else 0


def _alsa_config(directory, sound):
    """ALSA_CONFIG_PATH for a start's sound option; None keeps the machine's."""
    if sound is None or sound in ("none", "system"):
        return None
    if isinstance(sound, AlsaCapture):
        return sound.config
    path = os.path.join(directory, "alsa-%s.conf" % sound)
    if sound == "null":
        body = 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n'
    elif sound == "nocard":
        body = 'pcm.!default { type hw card 7 }\nctl.!default { type hw card 7 }\n'
    else:
        raise ValueError("sound is None, 'system', 'null', 'nocard' or an AlsaCapture")
    with open(path, "w") as f:
        f.write('</usr/share/alsa/alsa.conf>\n' + body)
    return path


# ------------------------------------------------------------------ display

class Display:
    """A private Xvfb display, 1280x1024x24."""

    def __init__(self):
        r, w = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(w), "-screen", "0", "%dx%dx24" % SCREEN,
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
        finally:
            os.close(w)
        number = b""
        deadline = time.monotonic() + DEFAULT_TIMEOUT
        with os.fdopen(r, "rb", buffering=0) as f:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                chunk = f.read(16)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            self.stop()
            raise HarnessError("Xvfb did not start")
        self.name = ":" + number.decode().strip()

    def env(self, base):
        env = dict(base)
        env["DISPLAY"] = self.name
        return env

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def parse_xwd(data):
    """(RGB bytes, width, height) of an xwd dump of a 24-bit TrueColor screen."""
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bpp, bytes_per_line, ncolors = fields[7], fields[11], fields[12], fields[19]
    red_mask = fields[14]
    if bpp not in (24, 32):
        raise HarnessError("xwd gave %d bits per pixel; expected 24 or 32" % bpp)
    step = bpp // 8
    pixels = data[header_size + ncolors * 12:]
    if bytes_per_line != width * step:
        pixels = b"".join(pixels[y * bytes_per_line:y * bytes_per_line + width * step]
                          for y in range(height))
    pixels = pixels[:width * height * step]
    if red_mask != 0xFF0000:
        raise HarnessError("unknown xwd pixel layout (red mask %#x)" % red_mask)
    # A pixel's bytes in memory: B G R (x) least significant first.
    r, g, b = (2, 1, 0) if byte_order == 0 else (step - 3, step - 2, step - 1)
    out = bytearray(width * height * 3)
    out[0::3] = pixels[r::step]
    out[1::3] = pixels[g::step]
    out[2::3] = pixels[b::step]
    return bytes(out), width, height


def crop(rgb, width, x, y, w, h):
    """The w x h rectangle at (x, y) of an RGB picture width pixels wide."""
    return b"".join(rgb[(y + r) * width * 3 + x * 3:(y + r) * width * 3 + (x + w) * 3]
                    for r in range(h))


# --------------------------------------------------------------------- state

class Control:
    def __init__(self, d):
        self.raw = d
        self.handle, self.parent, self.cls = d["handle"], d["parent"], d["class"]
        self.id, self.text = d["id"], d["text"]
        self.visible, self.enabled = d["visible"], d["enabled"]
        self.checked = d.get("checked", False)

    def __repr__(self):
        return "<%s %d %r>" % (self.cls, self.id, self.text)


class Box:
    """A visible top-level window of the player's process other than the
    main window: a message box, the about box, the open-file dialog (class
    "#32770"), or a popup menu ("#32768")."""

    def __init__(self, d):
        self.raw = d
        self.handle, self.cls, self.caption = d["handle"], d["class"], d["caption"]
        self.owner, self.rect = d["owner"], d["rect"]
        self.controls = [Control(c) for c in d["controls"]]

    @property
    def is_dialog(self):
        return self.cls == "#32770"

    @property
    def texts(self):
        """The texts of its visible static controls, in window order."""
        return [c.text for c in self.controls if c.cls.lower() == "static" and c.visible and c.text]

    @property
    def text(self):
        return "\n".join(self.texts)

    @property
    def buttons(self):
        return [c for c in self.controls if c.cls.lower() == "button" and c.visible]

    def button(self, label):
        """The visible button whose text (without "&") is label, any case."""
        want = label.replace("&", "").lower()
        for b in self.buttons:
            if b.text.replace("&", "").lower() == want:
                return b
        raise HarnessError("box %r has no button %r; it has %s" %
                           (self.caption, label, [b.text for b in self.buttons]))

    def control(self, cls=None, id=None):
        """The first control of a class (any case) and/or identifier."""
        for c in self.controls:
            if (cls is None or c.cls.lower() == cls.lower()) and (id is None or c.id == id):
                return c
        raise HarnessError("box %r has no control class=%r id=%r" % (self.caption, cls, id))

    def matches(self, pattern):
        return bool(re.search(pattern, self.caption) or re.search(pattern, self.text))

    def __repr__(self):
        return "<box %r: %r %s>" % (self.caption, self.text, [b.text for b in self.buttons])


class State:
    """One look at the player: s["playState"] etc. index the player's own
    description (see app/zxPlayerState_win.h); s.boxes lists the dialogs."""

    def __init__(self, d):
        self.raw = d
        self.pid = d["pid"]
        self.player = d["player"]  # None before the main window exists
        self.player_error = d["playerError"]
        self.windows = [Box(w) for w in d["windows"]]

    def __getitem__(self, key):
        if self.player is None:
            raise KeyError("no player description (%s)" % self.player_error)
        return self.player[key]

    @property
    def has_main(self):
        return self.player is not None

    @property
    def boxes(self):
        return [w for w in self.windows if w.is_dialog]

    @property
    def play_state(self):
        return self.player["playState"] if self.player else None

    @property
    def playing(self):
        return self.play_state == PLAYING

    @property
    def paused(self):
        return self.play_state == PAUSED

    @property
    def stopped(self):
        return self.play_state == STOPPED

    @property
    def frame(self):
        return self.player["frameIndex"] if self.player else None

    @property
    def segment(self):
        return self.player["currentSegment"] if self.player else None

    def menu(self, title):
        """The items of the menu bar's menu whose text is title (no "&")."""
        for m in self["menuBar"]["menus"]:
            if m["text"].replace("&", "") == title:
                return m["items"]
        raise KeyError("no menu %r" % title)

    def menu_item(self, title, item):
        """A menu item by its text before the tab/accelerator (no "&")."""
        for i in self.menu(title):
            if re.split(r"[\t\b]", i["text"])[0].replace("&", "") == item:
                return i
        raise KeyError("no item %r in menu %r" % (item, title))

    def summary(self):
        p = self.player
        if p is None:
            text = "no main window (%s)" % self.player_error
        else:
            text = ("playState=%s segment=%s frame=%s fullScreen=%s focus=%s time=%r" %
                    (p["playState"], p["currentSegment"], p["frameIndex"], p["fullScreen"],
                     p["focus"], p["panel"]["time"]))
        if self.windows:
            text += "; windows: %s" % self.windows
        return text


# -------------------------------------------------------------------- player

class Player:
    """A running player with the inspector in it (made by PlayerTestCase.start)."""

    def __init__(self, test, exe, args, sound, skip_pids, timeout, desktop=None):
        self.test, self.exe, self.args = test, exe, list(args)
        self.work = test.work
        self.display = test.display
        self.marker = uuid.uuid4().hex
        self.desktop = desktop or "zxe2e%d-%s" % (os.getpid(), self.marker[:8])
        self.allowed = []  # patterns of boxes the test waits for
        self._reported = set()  # boxes an UnexpectedBox has named
        self._known = set()  # boxes wait_box returned: expected until they go
        self.last_state = None
        self.closed_cleanly = False
        self._desktop_window = None
        self._origin = None
        self._conn = None
        self._file = None
        self.process = None
        self.pid = None
        self.sound, self.skip_pids, self.timeout = sound, list(skip_pids), timeout
        self.win_exe = windows_path(exe)
        self.windows_env = {}  # variables set for the player alone (start(windows_env=...))

    def launch(self):
        trace("start %s %s" % (self.win_exe, " ".join(self.args)))
        timeout = self.timeout
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        self.env = self.display.env(_env())
        self.env["ZX_INSPECTOR_PORT"] = str(listener.getsockname()[1])
        self.env["ZX_E2E_RUN"] = self.marker
        alsa = _alsa_config(self.work, self.sound)
        if alsa is not None:
            self.env["ALSA_CONFIG_PATH"] = alsa
        self.log_path = os.path.join(self.work, "wine-%s.log" % self.marker[:8])
        inject_log = os.path.join(self.work, "zxinject-%s.log" % self.marker[:8])
        injector = None
        try:
            # Output to files, never pipes: Wine's processes (a service
            # that a program starts, say) keep inherited pipes open long
            # after the program ended.
            with open(self.log_path, "ab") as log:
                command = [self.win_exe] + self.args
                if self.windows_env:
                    # Wine sets TEMP and TMP from its registry for every
                    # program it starts; cmd passes its own on.
                    command = ["cmd", "/c", "&&".join(
                        ["set %s=%s" % kv for kv in sorted(self.windows_env.items())] +
                        [" ".join(command)])]
                self.process = subprocess.Popen(
                    [WINE_RUN, "explorer", "/desktop=%s,%dx%d" % ((self.desktop,) + SCREEN)] +
                    command,
                    env=self.env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                    start_new_session=True)
            # zxinject only once the player runs: two Wine programs that
            # start at the same moment can make one of them exit at once,
            # silently, even with a running wineserver.
            deadline = time.monotonic() + timeout
            while not self.alive():
                if time.monotonic() > deadline:
                    raise HarnessError("the player did not start within %g s: %s" %
                                       (timeout, _read_text(self.log_path)[-2000:]))
                time.sleep(0.05)
            inject = [WINE_RUN, INJECT, "--timeout", str(timeout)]
            for pid in self.skip_pids:
                inject += ["--not", str(pid)]
            inject += [self.win_exe, windows_path(INSPECTOR)]
            attempts = 0

            def start_injector():
                with open(inject_log, "wb") as log:
                    return subprocess.Popen(inject, env=self.env, stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=subprocess.STDOUT,
                                            start_new_session=True)

            injector = start_injector()
            # The inspector may connect before zxinject has ended.
            listener.settimeout(0.1)
            deadline = time.monotonic() + timeout + 45
            while self._conn is None:
                try:
                    self._conn, _ = listener.accept()
                    break
                except socket.timeout:
                    pass
                rc = injector.poll()
                if rc is not None and rc != 0:
                    said = _read_text(inject_log)
                    attempts += 1
                    if said or attempts >= 3:
                        raise HarnessError("zxinject failed (%d): %s" % (rc, said or "no output"))
                    trace("zxinject ended at once (%d), again" % rc)
                    injector = start_injector()
                if time.monotonic() > deadline:
                    raise HarnessError(
                        "the inspector did not connect within %g s (zxinject %s: %s); "
                        "processes: %s" % (timeout + 45, "running" if rc is None else "ended",
                                           _read_text(inject_log), self._describe_processes()))
            trace("zxinject: %s" % _read_text(inject_log))
            self._conn.settimeout(timeout)
            self._file = self._conn.makefile("rwb")
            hello = self._read()
            self.pid = hello["pid"]  # the Windows process identifier
            trace("inspector connected, process %d" % self.pid)
        finally:
            listener.close()
            if injector is not None and injector.poll() is None:
                injector.kill()
                injector.wait()

    # -- talking to the inspector

    def _read(self):
        try:
            line = self._file.readline()
        except socket.timeout:
            waited = self._conn.gettimeout() if self._conn is not None else self.timeout
            raise HarnessError("the inspector did not answer within %g s" % waited)
        except OSError as e:
            line = b""
            why = str(e)
        else:
            why = "connection closed"
        if not line:
            self._disconnect()
            raise PlayerGone("the player's process has ended (%s; last state: %s)" %
                             (why, self.last_state.summary() if self.last_state else "none"))
        return json.loads(line.decode("cp1252", errors="replace"))

    def request(self, line):
        """One raw inspector request (see inspector/zxInspector.cpp); the reply."""
        if self._file is None:
            raise PlayerGone("the player's process has ended")
        try:
            self._file.write(line.encode("cp1252") + b"\n")
            self._file.flush()
        except OSError as e:
            self._disconnect()
            raise PlayerGone("the player's process has ended (%s)" % e)
        reply = self._read()
        if not reply.get("ok"):
            raise HarnessError("inspector request %r failed: %s" % (line, reply.get("error")))
        return reply

    def state(self, check_boxes=True):
        """What the player shows now. Fails at once on a box the test did
        not wait for, unless check_boxes is False."""
        s = State(self.request("state"))
        self.last_state = s
        if check_boxes:
            self._raise_unexpected(s)
        return s

    def unexpected_boxes(self, state):
        return [b for b in state.boxes if b.handle not in self._known
                and not any(b.matches(p) for p in self.allowed)]

    def _raise_unexpected(self, state, again=True):
        boxes = [b for b in self.unexpected_boxes(state) if again or b.handle not in self._reported]
        if boxes:
            self._reported.update(b.handle for b in boxes)
            raise UnexpectedBox("; ".join("unexpected box %r: %r (buttons %s)" %
                                          (b.caption, b.text, [x.text for x in b.buttons])
                                          for b in boxes))

    def wait_for(self, predicate, what, timeout=DEFAULT_TIMEOUT, interval=0.05):
        """Polls the state until predicate(state) is true and returns that
        state; fails after timeout seconds with what and the last state."""
        trace("wait for " + what)
        deadline = time.monotonic() + timeout
        while True:
            s = self.state()
            try:
                if predicate(s):
                    trace("    done: " + s.summary())
                    return s
            except (KeyError, TypeError):
                pass  # a state without the fields the predicate reads
            if time.monotonic() > deadline:
                raise HarnessError("timed out after %g s waiting for %s; last state: %s" %
                                   (timeout, what, s.summary()))
            time.sleep(interval)

    def wait_main(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the main window and its first description."""
        return self.wait_for(lambda s: s.has_main and s["window"]["right"] > 0,
                             "the main window", timeout)

    # -- boxes

    @contextlib.contextmanager
    def allow_boxes(self, pattern):
        """Boxes whose caption or text matches pattern (a regular
        expression) do not fail the test inside this block."""
        self.allowed.append(pattern)
        try:
            yield
        finally:
            self.allowed.remove(pattern)

    def wait_box(self, pattern, timeout=DEFAULT_TIMEOUT):
        """Waits for a box whose caption or text matches pattern and returns
        it; other boxes still fail the test. The box returned stays
        expected until it has gone (while it closes, its texts go first)."""
        with self.allow_boxes(pattern):
            s = self.wait_for(lambda s: any(b.matches(pattern) for b in s.boxes),
                              "a box matching %r" % pattern, timeout)
        box = next(b for b in s.boxes if b.matches(pattern))
        self._known.add(box.handle)
        return box

    def press(self, box, label="OK"):
        """Presses a box's button by its text."""
        self.request("click %d" % box.button(label).handle)

    def set_text(self, control, text):
        """Sets a control's text (the open-file dialog's file name, say)."""
        self.request("settext %d %s" % (control.handle, text))

    def wait_box_gone(self, box, timeout=DEFAULT_TIMEOUT):
        """Waits until a box has gone; also when its process ended with it
        (a box that ends the program), which the next request reports."""
        self._known.add(box.handle)
        with contextlib.suppress(PlayerGone):
            self.wait_for(lambda s: all(b.handle != box.handle for b in s.windows),
                          "box %r to close" % box.caption, timeout)

    def expect_box(self, pattern, button=None, timeout=DEFAULT_TIMEOUT):
        """Waits for a box matching pattern, presses button (default: its
        first button) and waits until it has gone. Returns the box."""
        box = self.wait_box(pattern, timeout)
        if button is None:
            if not box.buttons:
                raise HarnessError("box %r has no button" % box.caption)
            self.request("click %d" % box.buttons[0].handle)
        else:
            self.press(box, button)
        self.wait_box_gone(box, timeout)
        return box

    # -- keys and the mouse

    def xdotool(self, *args):
        return run("xdotool", *args, env=self.env, timeout=60).stdout.decode().strip()

    def desktop_window(self):
        """The X window of the player's Wine desktop."""
        if self._desktop_window is None:
            deadline = time.monotonic() + DEFAULT_TIMEOUT
            name = "^%s - Wine desktop$" % re.escape(self.desktop)
            while True:
                found = subprocess.run(
                    ["xdotool", "search", "--name", name],
                    env=self.env, capture_output=True, text=True, timeout=60).stdout.split()
                if found:
                    self._desktop_window = found[0]
                    break
                if time.monotonic() > deadline:
                    raise HarnessError("no X window for desktop %s" % self.desktop)
                time.sleep(0.1)
        return self._desktop_window

    def origin(self):
        """Where Wine's screen point (0, 0) lies on the X display."""
        if self._origin is None:
            out = self.xdotool("getwindowgeometry", "--shell", self.desktop_window())
            values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
            self._origin = (int(values["X"]), int(values["Y"]))
        return self._origin

    def key_window(self):
        """The X window that keys must go to: the one Wine made for the
        foreground window (a box when one is active), else the main window's.
        X sends keys to the focused window or, when the pointer is over one of
        its descendants, to that descendant; the desktop window itself
        passes no keys on to the programs in the desktop."""
        s = self.state(check_boxes=False)
        raw = s.raw
        for w in s.windows:
            if w.handle == raw["foreground"] and w.raw["xwindow"]:
                return str(w.raw["xwindow"])
        if raw["mainXWindow"]:
            return str(raw["mainXWindow"])
        raise HarnessError("no X window to send keys to; state: %s" % s.summary())

    def key(self, *keys, delay=50):
        """Presses keys (xdotool names: "F9", "alt+F4", "ctrl+o", "Escape",
        "Return") one after another, into the player's foreground window."""
        trace("key %s" % " ".join(keys))
        self.xdotool("windowfocus", "--sync", self.key_window())
        self.xdotool("key", "--delay", str(delay), *keys)

    def type_text(self, text, delay=20):
        self.xdotool("windowfocus", "--sync", self.key_window())
        self.xdotool("type", "--delay", str(delay), text)

    def _screen(self, x, y):
        ox, oy = self.origin()
        return str(x + ox), str(y + oy)

    def move(self, x, y):
        """Moves the pointer to Wine screen coordinates (x, y). (Not with
        mousemove --sync: that waits forever when the pointer is there.)"""
        self.xdotool("mousemove", *self._screen(x, y))

    def click(self, x, y, button=1, repeat=1):
        """Clicks at Wine screen coordinates (x, y)."""
        trace("click %d,%d" % (x, y))
        self.xdotool("mousemove", *self._screen(x, y), "click", "--repeat", str(repeat),
                     str(button))

    def drag(self, x0, y0, x1, y1, button=1, steps=8):
        """Presses at (x0, y0), moves in steps to (x1, y1) and releases."""
        trace("drag %d,%d -> %d,%d" % (x0, y0, x1, y1))
        args = ["mousemove", *self._screen(x0, y0), "mousedown", str(button)]
        for i in range(1, steps + 1):
            args += ["sleep", "0.02", "mousemove",
                     *self._screen(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)]
        self.xdotool(*args, "mouseup", str(button))

    def command(self, cmd):
        """Posts a menu command (CMD_...) to the main window: a shortcut for
        setting a scene up, not a way to test a key or a click."""
        self.request("command %d" % cmd)

    # -- panel helpers

    def button_point(self, name, state=None):
        """Centre of a panel button ("play", "pause", "stop", "segments",
        "prev", "next", "fullScreen") in screen coordinates."""
        r = (state or self.state())["panel"]["buttons"][name]["rect"]
        return r["left"] + r["width"] // 2, r["top"] + r["height"] // 2

    def click_button(self, name):
        x, y = self.button_point(name)
        self.click(x, y)

    def slider_point(self, name, fraction, state=None):
        """A point at fraction (0 .. 1) along a slider ("volumeSlider",
        "speedSlider") or the "segmentBar", on its middle line."""
        r = (state or self.state())["panel"][name]["rect"]
        return (r["left"] + min(r["width"] - 1, int(r["width"] * fraction)),
                r["top"] + r["height"] // 2)

    def panel_point(self, fx, fy, state=None):
        """Screen point at fractions (fx, fy) of the panel's client area."""
        p = (state or self.state())["panel"]
        return p["left"] + int(p["width"] * fx), p["top"] + int(p["height"] * fy)

    def client_point(self, x, y, state=None):
        """Screen point of client coordinates (x, y) of the main window."""
        c = (state or self.state())["client"]
        return c["left"] + x, c["top"] + y

    # -- pictures

    def screenshot(self):
        """(RGB bytes, width, height) of the whole display."""
        data = subprocess.run(["xwd", "-root", "-silent"], env=self.env, capture_output=True,
                              timeout=60, check=True).stdout
        return parse_xwd(data)

    def picture(self, state=None):
        """The film picture as the window shows it: (RGB bytes, w, h), cut out
        of a screenshot where the state says the picture is."""
        s = state or self.state()
        pic, client = s["picture"], s["client"]
        w, h = ((pic["scaledWidth"], pic["scaledHeight"]) if pic["scaled"]
                else (pic["width"], pic["height"]))
        shot, sw, sh = self.screenshot()
        ox, oy = self.origin()
        x, y = client["left"] + pic["x"] + ox, client["top"] + pic["y"] + oy
        if w <= 0 or h <= 0 or x < 0 or y < 0 or x + w > sw or y + h > sh:
            raise HarnessError("picture %dx%d at (%d, %d) is not on the %dx%d screen" %
                               (w, h, x, y, sw, sh))
        return crop(shot, sw, x, y, w, h), w, h

    def save_screenshot(self, name):
        """Writes the display as a PNG into the test's directory; its path."""
        rgb, w, h = self.screenshot()
        path = os.path.join(self.work, name)
        write_png(path, w, h, rgb)
        return path

    # -- the end

    def alive(self):
        return bool(self._processes(only_player=True))

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        """Waits until the player's process has ended; a box that comes up
        meanwhile fails the test at once."""
        trace("wait for the player to end")
        deadline = time.monotonic() + timeout
        while self.alive():
            if self._file is not None:
                # A process on its way out may stop answering before it is
                # gone; only a box it shows meanwhile matters here.
                self._conn.settimeout(2.0)
                try:
                    self.state()
                except PlayerGone:
                    pass
                except HarnessError as e:
                    if "did not answer" not in str(e):
                        raise
                    self._disconnect()
                finally:
                    if self._conn is not None:
                        self._conn.settimeout(self.timeout)
            if time.monotonic() > deadline:
                raise HarnessError("the player did not end within %g s; last state: %s" %
                                   (timeout, self.last_state.summary() if self.last_state
                                    else "none"))
            time.sleep(0.1)
        self.closed_cleanly = True
        self._disconnect()

    def _disconnect(self):
        for f in (self._file, self._conn):
            if f is not None:
                with contextlib.suppress(OSError):
                    f.close()
        self._file = self._conn = None

    def _describe_processes(self):
        out = []
        for pid in self._processes():
            with contextlib.suppress(OSError):
                with open("/proc/%d/cmdline" % pid, "rb") as f:
                    out.append("%d %s" % (pid, f.read().replace(b"\0", b" ").decode(
                        errors="replace").strip()))
        return "; ".join(out) or "none"

    def _processes(self, only_player=False):
        """Unix processes started for this player (they carry its marker)."""
        found = []
        exe = self.win_exe.lower()
        needle = ("ZX_E2E_RUN=" + self.marker).encode()
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if needle not in f.read().split(b"\0"):
                        continue
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    cmdline = f.read().replace(b"\0", b" ").decode(errors="replace")
                with open("/proc/%s/stat" % entry, "rb") as f:
                    state = f.read().rsplit(b")", 1)[1].split()[0]
            except OSError:
                continue
            if state == b"Z" or "wineserver" in cmdline:
                continue
            if only_player and not cmdline.lower().lstrip('"').startswith(exe):
                continue
            found.append(int(entry))
        return found

    def close(self, timeout=15):
        """Asks the main window to close (WM_CLOSE) and waits for the end;
        True when the player ended by itself."""
        if self._file is None:
            return self.closed_cleanly
        try:
            s = self.state(check_boxes=False)
            if s.boxes or not s.has_main:
                return False
            self.request("post %d %d 0 0" % (s.raw["main"], WM_CLOSE))
            self.wait_exit(timeout)
            return True
        except UnexpectedBox:
            raise  # a box on the way out is a fault like any other
        except HarnessError:
            return False

    def kill(self):
        """Kills every process of this player, its desktop included."""
        self._disconnect()
        for _ in range(50):
            pids = self._processes()
            if not pids:
                break
            for pid in pids:
                with contextlib.suppress(OSError):
                    os.kill(pid, signal.SIGKILL)
            time.sleep(0.1)
        if self.process is None:
            return
        if self.process.poll() is None:
            with contextlib.suppress(OSError):
                self.process.kill()
        with contextlib.suppress(subprocess.TimeoutExpired):
            self.process.wait(timeout=10)

    def end(self):
        """Cleanup: closes the player or else kills it, and its desktop;
        True when it ended by itself."""
        if self.process is None:
            return True
        trace("end")
        if os.environ.get("ZX_E2E_KEEP"):
            with contextlib.suppress(Exception):
                self.save_screenshot("last-%s.png" % self.marker[:8])
        try:
            clean = self.closed_cleanly or self.close()
            trace("closed cleanly" if clean else "not closed by itself")
        finally:
            self.kill()
            trace("killed")
        return clean


# -------------------------------------------------------------------- tests

class PlayerTestCase(unittest.TestCase):
    """Base class of end-to-end tests: a working directory and a private
    display per test, and the helpers to make films and start players.
    Skips when the player, the tools or Wine are missing."""

    def setUp(self):
        why = missing_prerequisites()
        if why:
            raise unittest.SkipTest(why)
        trace("set up " + self.id())
        _prepare_wine()
        self.work = tempfile.mkdtemp(prefix="zxe2e_")
        self.addCleanup(self._remove_work)
        self.display = Display()
        self.addCleanup(self.display.stop)
        trace("display " + self.display.name)
        self.players = []

    def _remove_work(self):
        if os.environ.get("ZX_E2E_KEEP"):
            print("kept", self.work, file=sys.stderr)
        else:
            shutil.rmtree(self.work, ignore_errors=True)

    # -- films

    def path(self, name):
        return os.path.join(self.work, name)

    def make_film(self, segments, name="film.zxf", options=()):
        """Makes a film of Segments with `zxtool make`; options are defaults
        for every segment (given before the first --input)."""
        args = [ZXTOOL, "make", "-y"] + list(options)
        for n, seg in enumerate(segments):
            folder = self.path("%s.seg%d" % (name, n))
            os.makedirs(folder, exist_ok=True)
            w, h = seg.size
            seed = n if seg.seed is None else seg.seed
            for k in range(seg.frames):
                rgb = seg.picture(k) if seg.picture else pattern_frame(w, h, k, seed)
                write_png(os.path.join(folder, "%06d.png" % k), w, h, rgb)
            args += ["--input", folder, "--fps", str(seg.fps), "--samples", str(seg.samples)]
            if seg.title is not None:
                args += ["--title", seg.title]
            if seg.depth is not None:
                args += ["--depth", str(seg.depth)]
            if seg.compression is not None:
                args += ["--compression", seg.compression]
            if seg.sound is not None:
                args += ["--sound", seg.sound.path if isinstance(seg.sound, Tone) else seg.sound]
            # Beside the frames' folder: every PNG in that one is a frame.
            extra = folder + ".cursors"
            os.makedirs(extra, exist_ok=True)
            for c, (rgba, cw, ch, hot) in enumerate(seg.cursors):
                png = os.path.join(extra, "cursor%d.png" % c)
                write_png(png, cw, ch, rgba, alpha=True)
                args += ["--cursor", png, "--hotspot", "%d,%d" % tuple(hot)]
            if seg.cursor_track is not None:
                track = os.path.join(extra, "track.csv")
                with open(track, "w") as f:
                    f.write("tick,cursor,x,y\n")
                    for row in seg.cursor_track:
                        f.write("%d,%d,%d,%d\n" % tuple(row))
                args += ["--cursor-track", track]
            args += seg.options
        out = self.path(name)
        run(*(args + ["-o", out]))
        return Film(out, list(segments))

    def pack(self, film, name="playing.exe", lang=None):
        """The player with the film appended (`zxtool pack`)."""
        out = self.path(name)
        args = [ZXTOOL, "pack", "-y", PLAYER, film.path if isinstance(film, Film) else film, "-o", out]
        if lang is not None:
            args += ["--lang", lang]
        run(*args)
        return out

    def bare_player(self, name="reDiridi.exe"):
        """A copy of the player without a film, in the test's directory."""
        out = self.path(name)
        if not os.path.exists(out):
            shutil.copyfile(PLAYER, out)
        return out

    def make_tone(self, seconds, f0=200.0, slope=20.0, rate=22050, name="tone.mp3"):
        return make_tone(self.path(name), seconds, f0, slope, rate)

    def capture(self, path=None):
        """An ALSA device that writes what the player plays (to path, default
        played.raw in the test's directory); pass it as start(sound=...)."""
        return AlsaCapture(self.work, path)

    # -- players

    def start(self, exe=None, args=(), sound="null", wait_main=True, skip_pids=(),
              beside=None, timeout=DEFAULT_TIMEOUT, windows_env=None):
        """Starts a player in a new Wine desktop on the test's display,
        injects the inspector and connects to it.

        exe: a packed player, default a copy of the bare player. args: its
        command line. sound: "null" (a device that plays nothing, the
        default), an AlsaCapture (self.capture()), "nocard" (ALSA finds no
        card), "none" (no configuration of ours: the machine's ALSA as it
        is; on a machine without a sound card that is "nocard"). windows_env:
        Windows environment variables for the player alone (TEMP, say).
        wait_main: wait for the main window
        (False when a box comes before it). skip_pids: Windows processes
        of the same program not to inject (an instance already running).
        beside: a Player whose Wine desktop this one joins (a second
        instance sees the first only in the same desktop)."""
        player = Player(self, exe or self.bare_player(), args, sound, skip_pids, timeout,
                        beside.desktop if beside is not None else None)
        player.windows_env = dict(windows_env or {})
        if not self.players:
            self._temp_before = temp_files()
            self.addCleanup(self._end_players)
        self.players.append(player)
        # Cleanups run last first: a box the test left open is reported,
        # even when the test itself passed, before the players end.
        self.addCleanup(self._check_boxes, player)
        try:
            player.launch()
        except HarnessError as e:
            # Wine now and then leaves a freshly started program or the
            # injector hanging; a second start from scratch is clean.
            trace("launch failed, once more: %s" % e)
            player.kill()
            player.launch()
        if wait_main:
            player.wait_main(timeout)
        return player

    def _end_players(self):
        """Ends every player, then fails if players that all ended by
        themselves left temporary files (which are removed either way)."""
        clean, failure = True, None
        for player in reversed(self.players):
            try:
                clean = player.end() and clean
            except HarnessError as e:
                clean, failure = False, failure or e
        left = temp_files() - self._temp_before
        if left:
            # Other Win32 tests share the prefix's %TEMP% and may have a
            # file of theirs there for a moment; the player's stay.
            time.sleep(2)
            left &= temp_files()
        for name in left:
            path = os.path.join(wine_temp_dir(), name)
            with contextlib.suppress(OSError):
                if os.path.isdir(path):
                    shutil.rmtree(path)
                else:
                    os.remove(path)
        if failure is not None:
            raise failure
        if clean and left:
            raise HarnessError("the player left temporary files behind: %s" % sorted(left))

    def _check_boxes(self, player):
        """A box still open at the end fails the test (unless an
        UnexpectedBox has named it already)."""
        if player._file is None:
            return
        with contextlib.suppress(PlayerGone):
            s = player.state(check_boxes=False)
            left = [b for b in s.boxes if b.handle not in player._reported]
            if left:
                raise HarnessError("box left open at the end: %s" % left)


class _Result(unittest.TextTestResult):
    """Also prints how long each test took, cleanup included."""

    def startTest(self, test):
        self._started = time.monotonic()
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        self.stream.writeln("    (%.1f s)" % (time.monotonic() - self._started))
        self.stream.flush()


def main():
    """Runs the tests of the calling module; exit code 77 when all of them
    were skipped (CTest's SKIP_RETURN_CODE), 1 on any failure."""
    module = sys.modules["__main__"]
    suite = unittest.defaultTestLoader.loadTestsFromModule(module)
    if len(sys.argv) > 1:
        # CLASS, CLASS.test_method or CLASS.test_prefix
        names = sys.argv[1:]
        suite = unittest.TestSuite(
            t for t in _flatten(suite)
            if any(t.id().split(".", 1)[1] == n or t.id().split(".", 1)[1].startswith(
                n + "." if "." not in n else n) for n in names))
    runner = unittest.TextTestRunner(verbosity=2, resultclass=_Result)
    result = runner.run(suite)
    if not result.testsRun:
        print("no test matches %s" % sys.argv[1:], file=sys.stderr)
        sys.exit(1)
    if not result.wasSuccessful():
        sys.exit(1)
    if result.testsRun and len(result.skipped) == result.testsRun:
        sys.exit(77)
    sys.exit(0)


def _flatten(suite):
    for t in suite:
        if isinstance(t, unittest.TestSuite):
            yield from _flatten(t)
        else:
            yield t
