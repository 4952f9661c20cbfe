#!/usr/bin/env python3
"""Hostile films in the real player: films that lie about themselves (made
byte by byte by tests/hostile/zxhostile.py) are named on the command line or
carried by the player. Each one ends with at most one box that names the
film and says what is wrong, never with an internal text, a stall, a crash
or temporary files left behind; what can be played is played."""
import contextlib
import hashlib
import os
import signal
import subprocess
import sys
import threading
import time

import zxe2e

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "hostile"))
import zxhostile  # noqa: E402

# The one box each film of the corpus's CI set gives (a regular expression),
# None for none. FILM stands for the film's Windows path.
LOAD_REFUSALS = {
    "title-size-257": r"^Cannot load the film FILM\r\rSegment 1: the title size 257 is out of range",
    "cursor-colour-count-past-payload":
        r"^Cannot load the film FILM\r\rSegment 1: the unpacked payload ends early",
    "payload-offset-past-film":
        r"^Cannot load the film FILM\r\rSegment 1: the packed payload .* lies outside the film",
    "cab-truncated": r"^Cannot load the film FILM\r\rSegment 1: ",
    "directory-count-100000":
        r"^Cannot load the film FILM\r\rThe film directory announces 100000 entries",
    "entry-offset-past-film":
        r"^Cannot load the film FILM\r\rSegment 1: the header .* lies outside the film",
    "directory-100000-same-segment":
        r"^Cannot load the film FILM\r\rSegment 2: its packed payload lies in the bytes of "
        r"segment 1 ",
}
PLAYING_FAULTS = {
    "valid-base": None,
    "valid-1x1": None,
    "valid-8bit-palette": None,
    "cursor-track-names-65535": None,
    "fps-nan": None,
    "cab-member-dotdot": None,
    "runs-beyond-picture":
        r"^Segment 1 of FILM, frame 1: Frame runs cover 196605 pixels, the picture has 768",
    "record-length-0": r"^ThreadP: Size = 0$",
    "frames-fewer-records": r"^Segment 1 of FILM ends early: its video data holds 5 of its 50 "
                            r"frames\.$",
    "frames-max": r"^Segment 1 of FILM ends early: its video data holds 5 of its 2147483647 "
                  r"frames\.$",
    "size-100000": r"^Segment 1 of FILM plays without picture: a picture of 100000 x 100000 "
                   r"pixels at 32 bits needs more than \d+ bytes\.$",
    "bpp-16": r"^Wrong display settings \(16 bit color\)$",
    "lzma-garbage": r"^Segment 1 of FILM has nothing to play: its payload could not be unpacked",
    "lzma-bomb": r"^Segment 1 of FILM has nothing to play: ",
    "sound-id3-only": r"^Segment 1 of FILM plays without sound: its sound starts with an ID3 tag",
}
INTERNAL = ("Error in WndProc", "Frame Is Nil", "Block = nil", "zxS_", "~7z", ".cabdir")


def write_case(test, name):
    """The corpus's film of that name in the test's directory; its path."""
    with open(zxe2e.PLAYER, "rb") as f:
        program = f.read()
    (_, path), = zxhostile.write(test.path("hostile"), zxhostile.by_name([name]), program)
    return path


def write_film(test, name, segments):
    path = test.path(name)
    with open(path, "wb") as f:
        f.write(zxhostile.film(segments))
    return path


def small_mount(test, name, options):
    """A tmpfs of its own mounted at the test's path name, unmounted when the
    test ends; skips the test where mounting is not allowed."""
    point = test.path(name)
    os.makedirs(point, exist_ok=True)
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", point],
                          capture_output=True, text=True)
    if done.returncode != 0:
        test.skipTest("cannot mount a tmpfs here: %s" % done.stderr.strip())
    test.addCleanup(subprocess.run, ["umount", "-l", point], capture_output=True)
    return point


def long_segment(title):
    """20 s of a small picture that changes every frame."""
    return zxhostile.Seg(16, 8, title=title,
                         pictures=[[0x010203 * (k % 200 + 1)] * 128 for k in range(200)])


def close(player):
    """Closes the player as a user would; True when it ended by itself. A
    loaded machine may keep it busy for a moment first."""
    player.wait_for(lambda s: s.has_main and not s.boxes, "the player to answer")
    return player.close(timeout=60)


def settle(player, what, timeout=zxe2e.DEFAULT_TIMEOUT):
    """Waits until the player has stopped with no box open, then a moment
    more: a second box for the same fault would come within it."""
    s = player.wait_for(lambda s: s.has_main and s.stopped and not s.boxes, what, timeout)
    time.sleep(1.0)
    return player.wait_for(lambda s: s.has_main and s.stopped and not s.boxes, what, timeout)


class HostileCase(zxe2e.PlayerTestCase):
    @contextlib.contextmanager
    def case(self, path, expected):
        """play_case for one film of many: its player ends with the case."""
        player, before = None, zxe2e.temp_files()
        try:
            player, s = self.play_case(path, expected)
            yield player, s
        finally:
            if player is None and self.players:
                player = self.players[-1]
            if player is not None:
                player.end()
        left = zxe2e.temp_files() - before
        self.assertFalse(player.closed_cleanly and left,
                         "temporary files left behind: %s" % sorted(left))

    def play_case(self, path, expected, args=(), exe=None):
        """Starts the player on path, takes the one box expected (None: no
        box) and checks that the player then stands still, stopped, whole."""
        windows = zxe2e.windows_path(path)
        pattern = None if expected is None else expected.replace(
            "FILM", windows.replace("\\", "\\\\"))
        player = self.start(exe or self.bare_player(), args=list(args) + (
            [] if exe else [windows]), wait_main=False)
        if pattern is not None:
            box = player.expect_box(pattern)
            for text in INTERNAL:
                self.assertNotIn(text, box.text)
        s = settle(player, "the player to stand still after %s" % os.path.basename(path))
        self.assertEqual(s.boxes, [], "one box for one fault")
        return player, s


class HostileLoadTest(HostileCase):
    def test_films_refused_by_the_loader_name_themselves_once(self):
        for name, expected in LOAD_REFUSALS.items():
            with self.subTest(name), self.case(write_case(self, name), expected) as (player, s):
                self.assertEqual(s["segmentCount"], 0)
                self.assertTrue(s["panel"]["shown"], "the panel stays")
                self.assertTrue(close(player), "the player closes by itself")

    def test_a_carried_film_that_cannot_be_read_names_the_program(self):
        broken = write_case(self, "title-size-257")
        exe = self.pack(broken, name="tutorial.exe")
        player, s = self.play_case(
            broken, r"^Cannot load the film carried by tutorial\.exe\r\rSegment 1: the title size "
            r"257", exe=exe)
        self.assertTrue(close(player))

    def test_a_program_whose_trailer_lies_starts_without_a_film(self):
        player, s = self.play_case(write_case(self, "trailer-film-past-file"), None,
                                   exe=write_case(self, "trailer-film-past-file"))
        self.assertTrue(s["noEmbeddedFilm"])
        self.assertTrue(close(player))


class HostilePlayTest(HostileCase):
    def test_films_that_fail_while_playing_say_so_once_and_stop(self):
        for name, expected in PLAYING_FAULTS.items():
            with self.subTest(name), self.case(write_case(self, name), expected) as (player, s):
                self.assertEqual(s["segmentCount"], 1)
                if name != "bpp-16":  # minimised by its box, as the player does
                    self.assertTrue(s["panel"]["shown"], "the panel stays")
                self.assertTrue(close(player), "the player closes by itself")
        temp = zxe2e.wine_temp_dir()
        for up in (os.path.join(temp, ".."), os.path.join(temp, "..", "..")):
            self.assertFalse(os.path.exists(os.path.join(up, "zxhostile-escaped")),
                             "a cabinet member wrote outside the temporary directory")


class HostileShapesTest(HostileCase):
    def test_a_row_of_65536_pixels_plays_as_zxtool_renders_it(self):
        pictures = [[0x102030 * (k % 7 + 1)] * 65000 + [0x302010 + k] * 536 for k in range(40)]
        path = write_film(self, "row.zxf", [zxhostile.Seg(65536, 1, 32, fps=5.0,
                                                          pictures=pictures)])
        player = self.start(self.bare_player(), args=[zxe2e.windows_path(path)])
        player.wait_for(lambda s: s.playing and s.frame >= 3, "the row to play")
        player.key("F10")
        s = player.wait_for(lambda s: s.paused, "Pause")
        self.assertEqual(s.boxes, [])
        raw = zxe2e.run(zxe2e.ZXTOOL, "export", path, "-", "--no-cursor").stdout
        n = 65536 * 3
        frames = [raw[i:i + n] for i in range(0, len(raw), n)]
        self.assertEqual(len(frames), 40)
        shown = s["picture"]["pixelsSha256"]
        hashes = []
        for rgb in frames:
            bgr0 = bytearray(65536 * 4)
            bgr0[0::4], bgr0[1::4], bgr0[2::4] = rgb[2::3], rgb[1::3], rgb[0::3]
            hashes.append(hashlib.sha256(bgr0).hexdigest())
        self.assertIn(shown, hashes, "the paused picture is one of the film's frames")
        # The frame shown is the one the player stands at (frame k shows
        # picture k once decoded).
        self.assertGreaterEqual(hashes.index(shown), 2)
        player.key("F11")
        player.wait_for(lambda s: s.stopped, "Stop")

    def first_segment_said_once(self, name, first, pattern):
        """A film of first and a good segment: the box for first comes, the
        good one plays; played again, it plays without a second box."""
        path = write_film(self, name, [first, long_segment(b"Good")])
        player = self.start(self.bare_player(), args=[zxe2e.windows_path(path)],
                            wait_main=False)
        box = player.expect_box(pattern)
        self.assertIn(zxe2e.windows_path(path), box.text)
        player.wait_for(lambda s: s.playing and s.segment == 1 and s.frame > 2,
                        "the next segment to play")
        player.key("F11")
        player.wait_for(lambda s: s.stopped, "Stop")
        player.key("F9")
        player.wait_for(lambda s: s.playing and s.segment == 1 and s.frame > 2,
                        "the first segment passed again, silently, and the next one to play")
        self.assertEqual(player.state().boxes, [])

    def test_records_that_end_early_end_the_segment_and_the_next_one_plays(self):
        self.first_segment_said_once("short.zxf", zxhostile.Seg(frames=50, title=b"Short"),
                                     r"ends early: its video data holds 5 of its 50 frames")

    def test_a_segment_with_nothing_to_play_is_passed_over_once(self):
        self.first_segment_said_once(
            "gap.zxf", zxhostile.Seg(packed=zxhostile.noise(300, 5), title=b"Empty"),
            r"^Segment 1 of .*gap\.zxf has nothing to play: its payload could not be "
            r"unpacked\.$")


class HostileSurviveTest(HostileCase):
    """Faults around the film rather than in it."""

    def test_a_temporary_directory_that_cannot_take_files_is_named(self):
        film = write_film(self, "fine.zxf", [long_segment(b"Fine")])
        not_a_directory = self.path("temp-is-a-file")
        with open(not_a_directory, "w") as f:
            f.write("not a directory\n")
        for temp in (self.path("no-such-temp"), not_a_directory):
            with self.subTest(temp):
                before = zxe2e.temp_files()
                win = zxe2e.windows_path(temp)
                player = self.start(self.bare_player(), args=[zxe2e.windows_path(film)],
                                    wait_main=False, windows_env={"TEMP": win, "TMP": win})
                box = player.expect_box(r"^Cannot load the film .*fine\.zxf\r\rThe temporary "
                                        r"directory .* cannot take the film's files")
                self.assertIn(win, box.text)
                s = settle(player, "the player to stand still")
                self.assertEqual(s["segmentCount"], 0)
                self.assertTrue(close(player))
                player.end()
                self.assertEqual(zxe2e.temp_files() - before, set())

    def test_a_full_or_read_only_temporary_directory_is_named(self):
        # 64 KiB of room: enough for the probe and a small packed payload, not
        # for what it unpacks to, nor for a large packed payload itself.
        full = small_mount(self, "full", "size=64k")
        read_only = small_mount(self, "read-only", "size=1m,ro")
        unpacks_big = zxhostile.Seg(16, 8, title=b"Big", frames=10, video=bytes(8) * 40000)
        packed_big = zxhostile.Seg(packed=zxhostile.noise(100000, 9))
        cases = [
            (full, [unpacks_big], r"Segment 1: its unpacked payload of \d+ bytes does not fit in "
                                  r"the temporary directory .* \(\d+ bytes free\)$"),
            (full, [packed_big], r"Segment 1: the temporary directory .* has no room for its files "
                                 r"\(the disk is full\)$"),
            (read_only, [long_segment(b"Fine")], r"The temporary directory .* cannot take the "
                                                 r"film's files"),
        ]
        for temp, segments, expected in cases:
            with self.subTest(temp=os.path.basename(temp), expected=expected):
                film = write_film(self, "film.zxf", segments)
                win = zxe2e.windows_path(temp)
                player = self.start(self.bare_player(), args=[zxe2e.windows_path(film)],
                                    wait_main=False, windows_env={"TEMP": win, "TMP": win})
                box = player.expect_box(r"^Cannot load the film .*film\.zxf\r\r" + expected)
                for text in INTERNAL:
                    self.assertNotIn(text, box.text)
                s = settle(player, "the player to stand still")
                self.assertEqual(s["segmentCount"], 0)
                self.assertTrue(close(player))
                player.end()
                self.assertEqual(os.listdir(temp), [], "nothing left in the temporary directory")

    def test_a_film_removed_while_loaded_plays_on(self):
        film = write_film(self, "gone.zxf", [long_segment(b"One"), long_segment(b"Two")])
        player = self.start(self.bare_player(), args=[zxe2e.windows_path(film)])
        player.wait_for(lambda s: s.playing and s.frame > 2, "the film to play")
        os.remove(film)
        player.key("F11")
        player.wait_for(lambda s: s.stopped, "Stop")
        player.key("F9")
        player.wait_for(lambda s: s.playing and s.frame > 2, "the removed film to play again")
        player.key("F5")  # the next segment
        player.wait_for(lambda s: s.playing and s.segment == 1 and s.frame > 2,
                        "its second segment")
        self.assertEqual(player.state().boxes, [])

    def test_a_coder_killed_mid_way_leaves_its_segment_empty(self):
        # A payload the coder needs a moment for, then a segment that plays.
        big = zxhostile.Seg(16, 8, title=b"Big", frames=10, video=bytes(8) * 4000000)
        big.packed = zxhostile.lzma_alone(big.payload(), preset=0)
        film = write_film(self, "killed.zxf", [big, long_segment(b"After")])
        killed = []
        stop = threading.Event()

        def kill_the_coder():
            while not stop.is_set() and not killed:
                for pid in os.listdir("/proc"):
                    if not pid.isdigit():
                        continue
                    try:
                        with open("/proc/%s/cmdline" % pid, "rb") as f:
                            cmdline = f.read()
                    except OSError:
                        continue
                    if b"lzma.exe" in cmdline and b" d " in cmdline.replace(b"\0", b" "):
                        with contextlib.suppress(OSError):
                            os.kill(int(pid), signal.SIGKILL)
                            killed.append(pid)
                time.sleep(0.005)

        watcher = threading.Thread(target=kill_the_coder, daemon=True)
        watcher.start()
        try:
            player = self.start(self.bare_player(), args=[zxe2e.windows_path(film)],
                                wait_main=False)
            if not killed:
                self.skipTest("the coder ended before it could be killed")
            # Killed while Wine still starts it, the coder never ran: the
            # load ends there, as without a coder. Killed only once its work
            # was done (a loaded machine), it leaves the whole payload, whose
            # first record (all zeros) the player refuses.
            box = player.expect_box(r"^Segment 1 of .*killed\.zxf has nothing to play: its "
                                    r"payload could not be unpacked\.$|^Video decompressor error$"
                                    r"|^ThreadP: Size = 0$")
        finally:
            stop.set()
            watcher.join()
        if box.text == "Video decompressor error":
            s = settle(player, "the player to stand still")
            self.assertEqual(s["segmentCount"], 0, "the film that could not be read is not kept")
        else:
            player.wait_for(lambda s: s.playing and s.segment == 1 and s.frame > 2,
                            "the next segment to play")
        self.assertTrue(close(player))




class HostileCorpus(HostileCase):
    """Every film of the corpus, packed into the player as it would be sent:
    at most one box, never an internal text, the player never stalls with a
    box or hangs, it closes by Alt+F4 and leaves no temporary file. The films
    with a known message are checked word for word above; these checks hold
    for all of them. The corpus is shared by two test classes, for time."""

    PART = None  # 0 or 1: the films at even or odd places

    def films(self):
        cases = [c for c in zxhostile.corpus() if not c.slow]
        return cases[self.PART::2]

    def play_packed(self, case, program):
        data = case.build(program)
        exe = self.path("sent.exe")
        with open(exe, "wb") as f:
            f.write(data if case.exe else zxhostile.executable(program, data))
        before = zxe2e.temp_files()
        player = self.start(exe, wait_main=False)
        try:
            boxes = []
            deadline = time.monotonic() + 20
            quiet_since = None
            while time.monotonic() < deadline:
                s = player.state(check_boxes=False)
                if s.boxes:
                    box = player.expect_box("")
                    boxes.append(box.text)
                    for text in INTERNAL:
                        self.assertNotIn(text, box.text)
                    self.assertLessEqual(len(boxes), 1, "one box for one fault: %s" % boxes)
                    quiet_since = None
                    continue
                if s.has_main and s.stopped:
                    quiet_since = quiet_since or time.monotonic()
                    if time.monotonic() - quiet_since >= 1.0:
                        break  # stood still for a second with no box
                else:
                    quiet_since = None
                time.sleep(0.1)
            player.wait_for(lambda s: s.has_main and not s.boxes, "the player to answer")
            player.key("alt+F4")
            player.wait_exit(60)
        finally:
            player.end()
        self.assertEqual(zxe2e.temp_files() - before, set(), "temporary files left behind")
        os.remove(exe)

    def test_every_film_sent_as_a_program(self):
        if self.PART is None:
            self.skipTest("each subclass runs its part of the corpus")
        with open(zxe2e.PLAYER, "rb") as f:
            program = f.read()
        for case in self.films():
            with self.subTest(case.name):
                self.play_packed(case, program)


class HostileCorpusEvenTest(HostileCorpus):
    PART = 0


class HostileCorpusOddTest(HostileCorpus):
    PART = 1


if __name__ == "__main__":
    zxe2e.main()
