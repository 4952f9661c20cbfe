#!/usr/bin/env python3
"""The harness itself: boxes are caught when a test waits for them and fail
the test with their text when it does not; keys and clicks reach the
player in its Wine desktop; the sound capture hears the tone that was
played; the helpers measure what they claim to."""
import math
import unittest

import zxe2e


def small_film(test, frames=200, fps=10):
    return test.make_film([zxe2e.Segment(frames=frames, size=(96, 64), fps=fps)])


class BoxesTest(zxe2e.PlayerTestCase):
    def test_expected_box_is_returned_and_dismissed(self):
        player = self.start(self.pack(small_film(self)), args=["/size", "abc"], wait_main=False)
        box = player.expect_box("Wrong command line")
        self.assertEqual(box.caption, "Error")
        self.assertEqual(box.text, "Wrong command line")
        self.assertEqual([b.text for b in box.buttons], ["OK"])
        player.wait_for(lambda s: s.playing, "the film to play once the box has gone")

    def test_unexpected_box_fails_with_its_caption_and_text(self):
        player = self.start(self.pack(small_film(self)), args=["/size", "abc"], wait_main=False)
        with self.assertRaisesRegex(zxe2e.UnexpectedBox,
                                    r"unexpected box 'Error': 'Wrong command line'"):
            player.wait_for(lambda s: s.playing, "playing")
        # Once reported, the box can still be dealt with.
        player.expect_box("Wrong command line")
        player.wait_for(lambda s: s.playing, "the film to play once the box has gone")

    def test_second_instance_in_the_same_desktop(self):
        exe = self.pack(small_film(self))
        first = self.start(exe)
        second = self.start(exe, beside=first, skip_pids=[first.pid], wait_main=False)
        self.assertNotEqual(second.pid, first.pid)
        second.expect_box("already started")
        second.wait_exit()
        self.assertTrue(first.state().playing, "the first instance plays on")

    def test_a_key_that_opens_a_box(self):
        player = self.start(self.pack(small_film(self)))
        player.key("F1")
        box = player.expect_box("^Help$")
        self.assertIn("Documentation", box.text)


class InputTest(zxe2e.PlayerTestCase):
    def test_keys_and_clicks_reach_the_player(self):
        player = self.start(self.pack(small_film(self)))
        player.wait_for(lambda s: s.playing, "the film to play")
        player.key("F10")
        player.wait_for(lambda s: s.paused, "F10 to pause")
        player.key("F9")
        player.wait_for(lambda s: s.playing, "F9 to play on")
        player.key("F11")
        player.wait_for(lambda s: s.stopped and s.frame == -1, "F11 to stop")
        player.click_button("play")
        player.wait_for(lambda s: s.playing, "a click on Play to play")
        player.click_button("pause")
        player.wait_for(lambda s: s.paused, "a click on Pause to pause")

    def test_f9_resumes_right_after_f10(self):
        player = self.start(self.pack(small_film(self)))
        player.wait_for(lambda s: s.playing, "the film to play")
        player.key("F10")
        player.wait_for(lambda s: s.paused, "F10 to pause")
        player.key("F9")
        player.wait_for(lambda s: s.playing, "F9 to play on", timeout=5)


class SoundTest(zxe2e.PlayerTestCase):
    def test_capture_holds_the_tone_from_its_start(self):
        tone = self.make_tone(6, f0=200, slope=50)
        film = self.make_film([zxe2e.Segment(frames=60, fps=10, sound=tone)])
        capture = self.capture()
        player = self.start(self.pack(film), sound=capture)
        player.wait_for(lambda s: s.playing and s["sound"]["waveOutOpen"], "playing with sound")
        # The file device takes sound faster than real time: wait for bytes.
        player.wait_for(lambda s: capture.bytes() >= 2 * 22050 * 3, "3 s of captured sound")
        heard = [t for _, t in zxe2e.tone_seconds(capture.samples(), 22050, tone)][:25]
        self.assertGreaterEqual(len(heard), 20, "windows of sound in the capture")
        # A window sounds like the tone in its middle, a little later
        # still through the decoder's delay.
        self.assertLess(heard[0], 0.2, "the capture starts with the tone's start: %s" % heard)
        for a, b in zip(heard, heard[1:]):
            self.assertGreater(b, a - 0.1, "the tone went back: %s" % heard)
        self.assertGreater(heard[-1], 1.8, "the tone went on: %s" % heard)


class HelpersTest(unittest.TestCase):
    def test_pitch_of_a_rising_tone(self):
        rate, f0, slope = 22050, 300.0, 40.0
        samples = [int(20000 * math.sin(2 * math.pi * (f0 * t + slope * t * t / 2)))
                   for t in (i / rate for i in range(rate * 4))]
        for second in (0.5, 2.0, 3.5):
            measured = zxe2e.pitch(samples, rate, second, 0.2)
            self.assertAlmostEqual(measured, f0 + slope * (second + 0.1), delta=2)
        quiet = [int(500 * math.sin(i * 0.3)) for i in range(rate)]
        self.assertEqual(zxe2e.pitch(quiet, rate, 0, 0.5), 0.0)

    def test_pattern_frames_all_differ(self):
        frames = {zxe2e.pattern_frame(96, 64, k, seed) for k in range(200) for seed in (0, 1)}
        self.assertEqual(len(frames), 400)

    def test_xwd_pixels_come_out_as_rgb(self):
        # Two pixels, 32 bits each, least significant byte first: B G R x.
        header = [100, 7, 2, 24, 2, 1, 0, 0, 32, 0, 32, 32, 8, 4, 0xFF0000, 0xFF00, 0xFF,
                  8, 0, 0, 2, 1, 0, 0, 0]
        data = zxe2e.struct.pack(">25I", *header) + bytes([3, 2, 1, 0, 6, 5, 4, 0])
        self.assertEqual(zxe2e.parse_xwd(data), (bytes([1, 2, 3, 4, 5, 6]), 2, 1))


if __name__ == "__main__":
    zxe2e.main()
