#!/usr/bin/env python3
"""The player plays a packed film: what the window shows is, pixel for
pixel, one frame after another of what `zxtool export` renders, in playing
order; Alt+F4 ends the program, which leaves no temporary file behind."""
import time

import zxe2e

FRAMES, FPS = 60, 5


class PlaysTest(zxe2e.PlayerTestCase):
    def test_frames_in_order_then_alt_f4_closes(self):
        film = self.make_film([zxe2e.Segment(frames=FRAMES, size=(96, 64), fps=FPS, title="e2e")])
        player = self.start(self.pack(film))
        # A packed film starts playing by itself.
        player.wait_for(lambda s: s.playing, "the film to play")

        seen, unknown, states = [], 0, []
        deadline = time.monotonic() + FRAMES / FPS + 20
        while len(set(seen)) < 6 and time.monotonic() < deadline:
            s = player.wait_for(lambda s: s.playing or s.stopped, "playing or stopped")
            if s.stopped:
                break
            states.append(s.frame)
            picture, w, h = player.picture(s)
            self.assertEqual((w, h), (96, 64), "the picture is shown at its own size")
            k = film.frame_index(picture)
            if k is None:
                unknown += 1
            elif not seen or seen[-1] != k:
                seen.append(k)
        self.assertGreaterEqual(len(set(seen)), 6, "frames seen: %s" % seen)
        self.assertEqual(seen, sorted(seen), "frames appeared out of order")
        self.assertEqual(states, sorted(states), "the frame index went back")
        # A screenshot taken while the window paints may catch half a frame.
        self.assertLessEqual(unknown, len(seen) // 2,
                             "%d pictures were no frame of the film" % unknown)

        # Alt+F4 asks the window to close, as a person would; cleanup then
        # finds no temporary file left.
        player.key("alt+F4")
        player.wait_exit()


if __name__ == "__main__":
    zxe2e.main()
