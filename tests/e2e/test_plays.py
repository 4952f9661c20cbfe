#!/usr/bin/env python3
"""The player plays a packed film: what the window shows is, pixel for
pixel, one frame after another of what `zxtool export` renders, in playing
order, the recorded cursor included; Alt+F4 ends the program, which leaves
no temporary file behind."""
import time

import zxe2e


class PlaysTest(zxe2e.PlayerTestCase):
    def frames_seen(self, player, film, count, cursor=False):
        """Frame numbers shown while playing, until count different ones or
        the end; fails on any picture that is no frame of the film."""
        seen, frames = [], []
        deadline = time.monotonic() + film.segments[0].seconds + 20
        while len(set(seen)) < count and time.monotonic() < deadline:
            s = player.wait_for(lambda s: s.playing or s.stopped, "playing or stopped")
            if s.stopped:
                break
            frames.append(s.frame)
            picture, w, h = player.picture(s)
            self.assertEqual((w, h), film.size(), "the picture is shown at its own size")
            k = film.frame_index(picture, cursor=cursor)
            self.assertIsNotNone(k, "the window shows no frame of the film (frames so far %s)" %
                                 seen)
            if not seen or seen[-1] != k:
                seen.append(k)
        self.assertGreaterEqual(len(set(seen)), count, "frames seen: %s" % seen)
        self.assertEqual(seen, sorted(seen), "frames appeared out of order")
        self.assertEqual(frames, sorted(frames), "the frame index went back")
        return seen

    def test_frames_in_order_then_alt_f4_closes(self):
        film = self.make_film([zxe2e.Segment(frames=60, size=(96, 64), fps=5, title="e2e")])
        player = self.start(self.pack(film))
        # A packed film starts playing by itself.
        player.wait_for(lambda s: s.playing, "the film to play")
        self.frames_seen(player, film, 6)
        # Alt+F4 asks the window to close, as a person would; cleanup then
        # finds no temporary file left.
        player.key("alt+F4")
        player.wait_exit()

    def test_recorded_cursor_moves_over_the_picture(self):
        red = zxe2e.solid_rgba(6, 6, (255, 0, 0, 255))
        track = [(k, 0, 10 + 2 * k, 5 + k) for k in range(40)]
        film = self.make_film([zxe2e.Segment(frames=40, size=(96, 64), fps=10,
                                             cursors=[(red, 6, 6, (0, 0))], cursor_track=track)])
        plain = film.frames(cursor=False)
        self.assertTrue(all(a != b for a, b in zip(film.frames(cursor=True), plain)),
                        "the cursor is on every frame")
        player = self.start(self.pack(film))
        player.wait_for(lambda s: s.playing, "the film to play")
        self.frames_seen(player, film, 4, cursor=True)


if __name__ == "__main__":
    zxe2e.main()
