#!/usr/bin/env python3
"""Sound through a wave-out device that writes what it plays to a file: a
tone whose pitch rises with time tells which part of the sound was played.
Resuming in the middle plays the middle, Stop silences, other speeds play
nothing, stereo plays, and sound the player cannot play (an ID3 tag in
front, no sound device) leaves the picture playing with one message."""
import os
import struct
import time

import zxe2e

RATE = 22050


def replace_sound(path, sound, out):
    """The one-segment film at path with its sound bytes replaced."""
    with open(path, "rb") as f:
        film = bytearray(f.read())
    count, = struct.unpack_from("<i", film, 0)
    assert count == 1, "a film of one entry"
    start, = struct.unpack_from("<i", film, 4)
    header = start
    sound_offset, = struct.unpack_from("<i", film, header + 50)
    film = film[:start + sound_offset] + sound
    struct.pack_into("<i", film, header + 46, len(sound))
    with open(out, "wb") as f:
        f.write(film)
    return out


def silent_from_here(player, capture, what):
    """Waits until the device plays silence (it goes on writing silence
    while nothing is queued); the capture's size then."""
    def silent(_):
        samples = capture.samples()[-RATE // 5:]
        return len(samples) == RATE // 5 and max(abs(v) for v in samples) < 1000

    player.wait_for(silent, what)
    return capture.bytes()


def heard_after(capture, offset, tone):
    """Which seconds of the tone the capture holds behind byte offset."""
    return [t for _, t in zxe2e.tone_seconds(capture.samples()[offset // 2:], RATE, tone)]


class SoundPlayTest(zxe2e.PlayerTestCase):
    def tone_film(self, seconds=30, tone=None):
        tone = tone or self.make_tone(seconds, f0=200, slope=20)
        film = self.make_film([zxe2e.Segment(frames=seconds * 10, fps=10, sound=tone)])
        return tone, film

    def test_resume_stop_and_other_speeds(self):
        tone, film = self.tone_film()
        capture = self.capture()
        player = self.start(self.pack(film), sound=capture)
        player.wait_for(lambda s: s.playing and s["sound"]["waveOutOpen"], "playing with sound")
        player.wait_for(lambda s: capture.bytes() > RATE * 2, "sound in the capture")
        heard = heard_after(capture, 0, tone)
        self.assertLess(heard[0], 0.5, "the sound starts at its start: %s" % heard[:5])

        # Pause in the middle; resuming plays from the frame reached.
        player.wait_for(lambda s: s.frame >= 150, "the middle of the film")
        player.key("F10")
        paused = player.wait_for(lambda s: s.paused, "F10 to pause").frame
        offset = silent_from_here(player, capture, "silence after the pause")
        player.key("F9")
        player.wait_for(lambda s: s.playing, "F9 to resume")
        player.wait_for(lambda s: len(heard_after(capture, offset, tone)) >= 3,
                        "sound after the resume")
        heard = heard_after(capture, offset, tone)
        self.assertAlmostEqual(heard[0], paused / 10, delta=0.8,
                               msg="resumed at frame %d: heard %s" % (paused, heard[:5]))

        # Stop silences.
        player.key("F11")
        player.wait_for(lambda s: s.stopped, "F11 to stop")
        offset = silent_from_here(player, capture, "silence after Stop")
        deadline = time.monotonic() + 1.5
        while time.monotonic() < deadline:
            self.assertTrue(player.state().stopped)
        self.assertEqual(heard_after(capture, offset, tone), [], "sound went on after Stop")

        # At twice the speed nothing plays; back at normal speed the sound
        # comes back at the frame reached.
        x, y = player.slider_point("speedSlider", (8 + 54 * 4 / 8) / 70)
        player.click(x, y)
        player.wait_for(lambda s: s["panel"]["speedPosition"] == 4, "speed x2.0")
        player.key("F9")
        player.wait_for(lambda s: s.playing and s.frame >= 60, "x2.0 to play 6 s of film")
        # Play from stopped opened the device anew, which emptied the file.
        offset = 0
        self.assertEqual(heard_after(capture, offset, tone), [], "sound at twice the speed")
        x, y = player.slider_point("speedSlider", (8 + 54 * 3 / 8) / 70)
        player.click(x, y)
        normal = player.wait_for(lambda s: s["panel"]["speedPosition"] == 3, "normal speed").frame
        player.wait_for(lambda s: heard_after(capture, offset, tone), "sound at normal speed")
        heard = heard_after(capture, offset, tone)
        self.assertAlmostEqual(heard[0], normal / 10, delta=1.0,
                               msg="back to normal at frame %d: heard %s" % (normal, heard[:5]))

    def test_stereo_sound_plays(self):
        path = self.path("stereo.mp3")
        expr = "0.8*sin(2*PI*(300*t+30*t*t/2))"
        zxe2e.run("ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                  "aevalsrc=%s|%s:s=44100:d=8" % (expr, expr), "-ac", "2", "-ar", "44100",
                  "-b:a", "128k", "-id3v2_version", "0", "-write_xing", "0", path)
        tone = zxe2e.Tone(path, 8, 300.0, 30.0, 44100)
        film = self.make_film([zxe2e.Segment(frames=80, fps=10, sound=tone)])
        capture = self.capture()
        player = self.start(self.pack(film), sound=capture)
        player.wait_for(lambda s: s.playing and s["sound"]["waveOutOpen"], "playing with sound")
        # The device gets both channels from Wine's decoder.
        player.wait_for(lambda s: capture.bytes() > 44100 * 4 * 2, "2 s of sound")
        heard = [t for _, t in zxe2e.tone_seconds(capture.samples(channels=2), 44100, tone)]
        self.assertLess(heard[0], 0.5, heard[:5])
        self.assertGreater(heard[min(len(heard), 15) - 1], 1.0, heard[:15])

    def test_a_tag_in_front_of_the_sound(self):
        tone, film = self.tone_film(seconds=10)
        with open(tone.path, "rb") as f:
            mp3 = f.read()
        # An ID3v2.4 tag of 20 bytes, as an encoder writes it in front.
        tagged = b"ID3\x04\x00\x00\x00\x00\x00\x0a" + bytes(10) + mp3
        path = replace_sound(film.path, tagged, self.path("tagged.zxf"))
        capture = self.capture()
        player = self.start(self.pack(path), sound=capture, wait_main=False)
        box = player.expect_box("plays without sound")
        self.assertIn("Segment 1 of playing.exe", box.text)
        self.assertIn("starts with an ID3 tag", box.text)
        # The picture plays all the same, silently.
        player.wait_for(lambda s: s.playing and s.frame >= 20, "the picture to play")
        player.key("F11")
        player.wait_for(lambda s: s.stopped, "F11 to stop")
        player.key("F9")
        # Once a segment: playing it again says nothing (the harness fails
        # the test on any box it did not wait for).
        player.wait_for(lambda s: s.playing and s.frame >= 10, "playing again without a box")
        self.assertEqual(capture.bytes(), 0, "nothing was played")


class NoSoundDeviceTest(zxe2e.PlayerTestCase):
    def test_the_media_error_shows_once_and_nothing_waits_for_it(self):
        tone = self.make_tone(10)
        film = self.make_film([zxe2e.Segment(frames=100, fps=10, sound=tone),
                               zxe2e.Segment(frames=100, fps=10, sound=tone, seed=7)])
        player = self.start(self.pack(film), sound="nocard", wait_main=False)
        box = player.expect_box("^Error$")
        self.assertTrue(box.text, "the box says what the media player said")
        player.wait_for(lambda s: s.playing and s.frame >= 10, "the picture to play")
        # Every start of the clock: no box, and the keys answer at once.
        for _ in range(3):
            player.key("F10")
            player.wait_for(lambda s: s.paused, "F10", timeout=10)
            player.key("F9")
            player.wait_for(lambda s: s.playing, "F9", timeout=10)
        player.key("F5")
        player.wait_for(lambda s: s.segment == 1 and s.playing and s.frame >= 5,
                        "the second segment to play without a second box")


if __name__ == "__main__":
    zxe2e.main()
