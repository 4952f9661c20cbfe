#!/usr/bin/env python3
"""The player, end to end: a generated film packed into reDiridi.exe plays
under Wine on the test display, and what the window shows is, pixel for
pixel, one of the states that `zxtool export` renders, in playing order.
Closing the window ends the program and leaves no temporary file behind.

    player_plays.py ZXTOOL PLAYER_EXE

Exit code 77 (skipped) when the player has not been built or there is no
display."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

zxtool, player = sys.argv[1], sys.argv[2]
here = os.path.dirname(os.path.abspath(__file__))
wine_run = os.path.join(here, "..", "..", "scripts", "wine-run")
if not os.path.exists(player) or not os.environ.get("DISPLAY"):
    print("no player or no display")
    sys.exit(77)

W, H, FRAMES, FPS = 96, 64, 60, 5


def png(path, w, h, pixel):
    rows = b"".join(b"\0" + bytes(c for x in range(w) for c in pixel(x, y)) for y in range(h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def frame_pixel(k):
    # A bar that moves and a colour that changes: every frame differs.
    def pixel(x, y):
        if (x - 4 * k) % W < 12:
            return (250, 250, 40)
        return ((k * 9) % 200, (x * 2) % 256, (y * 3 + k) % 256)
    return pixel


def run(*args, **kw):
    return subprocess.run(list(args), check=True, capture_output=True, **kw)


def screenshot():
    xwd = run("xwd", "-root", "-silent").stdout
    out = subprocess.run(["convert", "xwd:-", "-depth", "8", "rgb:-"], input=xwd,
                         capture_output=True, check=True).stdout
    info = run("xdpyinfo").stdout.decode()
    dims = [l for l in info.splitlines() if "dimensions:" in l][0].split()[1]
    sw, sh = (int(v) for v in dims.split("x"))
    return out, sw, sh


def find_picture(shot, sw, sh, frames):
    """The index of the frame whose picture stands somewhere on the screen."""
    for k, pic in enumerate(frames):
        first = pic[: W * 3]
        for y in range(sh - H + 1):
            row = shot[y * sw * 3:(y + 1) * sw * 3]
            x3 = row.find(first)
            while x3 >= 0:
                if x3 % 3 == 0 and all(
                        shot[(y + r) * sw * 3 + x3:(y + r) * sw * 3 + x3 + W * 3]
                        == pic[r * W * 3:(r + 1) * W * 3] for r in range(H)):
                    return k
                x3 = row.find(first, x3 + 1)
    return None


work = tempfile.mkdtemp(prefix="zxe2e_")
process = None
try:
    for k in range(FRAMES):
        png(f"{work}/{k:06d}.png", W, H, frame_pixel(k))
    film, exe = f"{work}/film.zxf", f"{work}/playing.exe"
    run(zxtool, "make", "-o", film, "--fps", str(FPS), "--samples", "1", "--title", "e2e",
        "--input", work)
    run(zxtool, "pack", player, film, "-o", exe)
    raw = run(zxtool, "export", film, "-", "--no-cursor").stdout
    size = W * H * 3
    frames = [raw[i * size:(i + 1) * size] for i in range(FRAMES)]
    assert len(frames[-1]) == size, "export gave %d bytes" % len(raw)

    wine_temp = subprocess.run([wine_run, "cmd", "/c", "echo", "%TEMP%"], capture_output=True,
                               text=True).stdout.strip()
    unix_temp = subprocess.run(["winepath", "-u", wine_temp], capture_output=True, text=True,
                               env=dict(os.environ, WINEDEBUG="-all")).stdout.strip()
    before = set(os.listdir(unix_temp)) if unix_temp and os.path.isdir(unix_temp) else set()

    process = subprocess.Popen([wine_run, exe], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    seen = []
    deadline = time.monotonic() + FRAMES / FPS + 20
    while time.monotonic() < deadline and len(set(seen)) < 4:
        shot, sw, sh = screenshot()
        k = find_picture(shot, sw, sh, frames)
        if k is not None and (not seen or seen[-1] != k):
            seen.append(k)
        time.sleep(0.15)
    print("frames seen in order:", seen)
    assert len(set(seen)) >= 4, "the window never showed four different frames of the film"
    assert seen == sorted(seen), "frames appeared out of order"

    # Alt+F4 asks the window to close, as a person would.
    for w in run("xdotool", "search", "--name", "^reDiridi").stdout.split():
        subprocess.run(["xdotool", "windowfocus", "--sync", w.decode(), "key", "alt+F4"],
                       capture_output=True)
    process.wait(timeout=30)
    process = None
    after = set(os.listdir(unix_temp)) if unix_temp and os.path.isdir(unix_temp) else set()
    left = [n for n in after - before if n.startswith("zxS_")]
    assert not left, "temporary files left behind: %s" % left
    print("player plays: ok")
finally:
    if process is not None:
        process.kill()
    shutil.rmtree(work, ignore_errors=True)
