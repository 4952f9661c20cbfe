#!/usr/bin/env python3
"""The control panel by mouse: its buttons, the speed and volume sliders
and the segment bar; and its texts, each legible in a box of its own at
every speed."""
import zxe2e

SPEED_TEXTS = ("x0.1", "x0.25", "x0.5", "x1.0", "x2.0", "x3.0", "x5.0", "x10.0", "MAX")
TITLE = "A terminal session, recorded on a rainy afternoon with a very long title"


def film_of(test, titles=(TITLE, "Second", "Third"), frames=300, size=(400, 100)):
    return test.make_film([zxe2e.Segment(frames=frames, size=size, fps=10, title=t)
                           for t in titles])


def overlap(a, b):
    return (a["left"] < b["right"] and b["left"] < a["right"] and a["top"] < b["bottom"] and
            b["top"] < a["bottom"] and a["right"] > a["left"] and b["right"] > b["left"])


class PanelTest(zxe2e.PlayerTestCase):
    def test_buttons(self):
        player = self.start(self.pack(film_of(self)))
        player.wait_for(lambda s: s.playing, "the film to play")
        player.click_button("pause")
        s = player.wait_for(lambda s: s.paused, "Pause to pause")
        self.assertTrue(s["panel"]["buttons"]["play"]["shown"])
        self.assertFalse(s["panel"]["buttons"]["pause"]["shown"])
        player.click_button("play")
        player.wait_for(lambda s: s.playing and s["panel"]["buttons"]["pause"]["shown"],
                        "Play to play on")
        player.click_button("next")
        player.wait_for(lambda s: s.segment == 1 and s.playing, "Next")
        player.click_button("prev")
        player.wait_for(lambda s: s.segment == 0 and s.playing, "Previous")
        player.click_button("segments")
        s = player.wait_for(lambda s: s["segments"]["shown"], "Segments to show the list")
        self.assertTrue(s["panel"]["buttons"]["segments"]["checked"])
        player.click_button("segments")
        s = player.wait_for(lambda s: not s["segments"]["shown"], "Segments to hide the list")
        self.assertFalse(s["panel"]["buttons"]["segments"]["checked"])
        player.click_button("stop")
        s = player.wait_for(lambda s: s.stopped, "Stop")
        self.assertEqual((s.segment, s.frame), (0, -1))
        player.click_button("fullScreen")
        player.wait_for(lambda s: s["fullScreen"], "the full-screen button")
        # In full screen the panel shows while the pointer is near the bottom.
        x, y = zxe2e.SCREEN[0] // 2, zxe2e.SCREEN[1] - 4
        player.move(x, y)
        s = player.wait_for(lambda s: s["panel"]["shown"], "the panel near the bottom edge")
        player.click_button("fullScreen")
        player.wait_for(lambda s: not s["fullScreen"], "the full-screen button again")

    def test_the_segment_bar_opens_the_segment_clicked(self):
        player = self.start(self.pack(film_of(self)))
        player.wait_for(lambda s: s.playing, "the film to play")
        # Three segments of 30 s: the middle of the bar is the second one.
        x, y = player.slider_point("segmentBar", 0.5)
        player.click(x, y)
        s = player.wait_for(lambda s: s.segment == 1 and s.playing, "a click in the middle")
        self.assertRegex(s["panel"]["time"], r"00:00:3\d \| 00:01:30$")
        x, y = player.slider_point("segmentBar", 0.9)
        player.click(x, y)
        player.wait_for(lambda s: s.segment == 2, "a click near the end")

    def test_speeds_and_every_text_in_its_own_box(self):
        # A window as wide as a usual recording leaves room for the title.
        player = self.start(self.pack(film_of(self, size=(742, 100))))
        player.wait_for(lambda s: s.playing, "the film to play")
        for position in range(9):
            # The thumb's centre follows the pointer: 16 pixels of thumb on
            # 70 of slider leave 54 for the nine positions.
            x, y = player.slider_point("speedSlider", (8 + 54 * position / 8) / 70)
            player.click(x, y)
            s = player.wait_for(lambda s: s["panel"]["speedPosition"] == position,
                                "the speed slider at %d" % position)
            s = player.wait_for(lambda s: s["panel"]["time"].startswith(
                SPEED_TEXTS[position] + " "), "the time text of speed %d" % position)
            boxes = s["panel"]["textBoxes"]
            for name in ("info", "time", "percent"):
                box = boxes[name]
                self.assertLessEqual(box["textWidth"], box["right"] - box["left"],
                                     "speed %d: the %s text %r does not fit its box %s" %
                                     (position, name, s["panel"][name if name != "percent" else
                                                                  "volumeText"], box))
            for a in boxes:
                for b in boxes:
                    if a < b:
                        self.assertFalse(overlap(boxes[a], boxes[b]),
                                         "the %s and %s boxes overlap: %s" % (a, b, boxes))
            self.assertGreaterEqual(boxes["title"]["left"], boxes["percent"]["right"])
        # The long title is cut to its box, which it shares with nothing.
        s = player.state()
        self.assertEqual(s["panel"]["title"], TITLE)
        self.assertGreater(s["panel"]["textBoxes"]["title"]["right"],
                           s["panel"]["textBoxes"]["title"]["left"], "room for the title")

    def test_a_volume_the_device_does_not_tell(self):
        # Wine's wave mapper refuses to read or set its volume.
        player = self.start(self.pack(film_of(self)))
        s = player.wait_for(lambda s: s.playing and s["panel"]["volumeText"], "the film to play")
        self.assertFalse(s["panel"]["volumeEnabled"], "the volume slider is disabled")
        self.assertEqual(s["panel"]["volumeText"], "\u2013", "a dash, not a number")
        x, y = player.slider_point("volumeSlider", 0.2)
        x1, _ = player.slider_point("volumeSlider", 0.8)
        player.drag(x, y, x1, y)
        s = player.wait_for(lambda s: s.playing, "still playing")
        self.assertEqual(s["panel"]["volumeText"], "\u2013")
        self.assertEqual(s["panel"]["volumeSlider"]["position"], 0, "the drag changed nothing")


if __name__ == "__main__":
    zxe2e.main()
