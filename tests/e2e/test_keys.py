#!/usr/bin/env python3
"""Every accelerator of the player, pressed in sequences as a person
presses them, with the player's state, its menus and its windows checked
after each key."""
import zxe2e


def two_segment_film(test):
    return test.make_film([zxe2e.Segment(frames=300, fps=10, title="First"),
                           zxe2e.Segment(frames=300, fps=10, title="Second")])


def checked(state, menu, item):
    return state.menu_item(menu, item)["checked"]


class KeysTest(zxe2e.PlayerTestCase):
    def test_play_pause_stop_and_the_windows_in_any_order(self):
        player = self.start(self.pack(two_segment_film(self)))
        player.wait_for(lambda s: s.playing, "the film to play")

        # Pause then play: the F10 that pauses leaves no menu mode behind.
        player.key("F10")
        s = player.wait_for(lambda s: s.paused, "F10 to pause")
        self.assertFalse(s["menuMode"], "F10 put the menu bar into menu mode")
        self.assertTrue(checked(s, "Actions", "Pause"))
        self.assertTrue(s["panel"]["buttons"]["play"]["shown"])
        player.key("F9")
        s = player.wait_for(lambda s: s.playing, "F9 right after F10 to play on")
        self.assertTrue(checked(s, "Actions", "Play"))
        player.key("F11")
        s = player.wait_for(lambda s: s.stopped, "F11 to stop")
        self.assertEqual((s.segment, s.frame), (0, -1))
        self.assertTrue(checked(s, "Actions", "Stop"))
        player.key("F9")
        player.wait_for(lambda s: s.playing and s.frame > 0, "F9 to play from stopped")

        # The segments window: F6 shows it with the keyboard in its list.
        player.key("F6")
        s = player.wait_for(lambda s: s["segments"]["shown"], "F6 to show the segments")
        self.assertEqual(s["segments"]["items"], ["First", "Second"])
        self.assertEqual(s["focus"], "segmentList")
        self.assertTrue(checked(s, "Actions", "Segments"))
        # Accelerators work with the list focused, in any order.
        player.key("F10")
        player.wait_for(lambda s: s.paused, "F10 with the list focused")
        player.key("F9")
        player.wait_for(lambda s: s.playing, "F9 with the list focused")
        # Down, Enter: the second segment, and the window goes.
        player.key("Down", "Return")
        s = player.wait_for(lambda s: s.segment == 1 and s.playing and not s["segments"]["shown"],
                            "Enter in the list to open the second segment")
        self.assertFalse(checked(s, "Actions", "Segments"))
        player.key("F6")
        player.wait_for(lambda s: s["segments"]["shown"], "F6 again")
        player.key("Escape")
        player.wait_for(lambda s: not s["segments"]["shown"], "Escape to hide the segments")

        # Previous and next segment.
        player.key("F4")
        player.wait_for(lambda s: s.segment == 0 and s.playing, "F4 to the first segment")
        player.key("F4")  # before the first: nothing
        player.key("F5")
        player.wait_for(lambda s: s.segment == 1 and s.playing, "F5 to the second segment")

        # The control panel: F7 hides and shows it; the picture area grows.
        player.key("F7")
        s = player.wait_for(lambda s: not s["panelVisible"] and not s["panel"]["shown"],
                            "F7 to hide the panel")
        self.assertFalse(checked(s, "View", "Show control panel"))
        player.key("F7")
        s = player.wait_for(lambda s: s["panelVisible"] and s["panel"]["shown"],
                            "F7 to show the panel")
        self.assertTrue(checked(s, "View", "Show control panel"))

        # Stop, then the keys that follow stop still work.
        player.key("F10", "F11", "F9", "F10")
        player.wait_for(lambda s: s.paused and s.segment == 0, "F10 F11 F9 F10")

    def test_alt_reaches_the_menu_bar_and_escape_leaves_it(self):
        player = self.start(self.pack(two_segment_film(self)))
        player.wait_for(lambda s: s.playing, "the film to play")
        player.key("alt")
        player.wait_for(lambda s: s["menuMode"], "Alt to give the keyboard to the menu bar")
        player.key("Escape")
        player.wait_for(lambda s: not s["menuMode"], "Escape to leave the menu bar")
        player.key("F10")
        player.wait_for(lambda s: s.paused, "F10 after the menu bar")
        player.key("F9")
        player.wait_for(lambda s: s.playing, "F9 after the menu bar")

    def test_full_screen_and_back_to_the_same_rectangle(self):
        film = two_segment_film(self)
        player = self.start(self.pack(film), args=["/size", "700", "450", "/pos", "120", "90"])
        before = player.wait_for(lambda s: s.playing, "the film to play")["window"]
        self.assertEqual((before["left"], before["top"]), (120, 90))
        for round in range(2):
            player.key("alt+Return")
            s = player.wait_for(lambda s: s["fullScreen"] and s["window"]["maximised"],
                                "Alt+Enter to go full screen")
            self.assertFalse(s["menuBar"]["attached"], "the menu bar is detached")
            self.assertFalse(s["panel"]["shown"], "the panel is undocked")
            self.assertTrue(checked(s, "View", "Full screen"))
            self.assertTrue(s["panel"]["buttons"]["fullScreen"]["checked"])
            self.assertGreaterEqual(s["client"]["width"], zxe2e.SCREEN[0] - 8)
            # In full screen every accelerator produces its command.
            player.key("F10")
            player.wait_for(lambda s: s.paused, "F10 in full screen")
            player.key("F9")
            player.wait_for(lambda s: s.playing, "F9 in full screen")
            player.key("alt+Return")
            s = player.wait_for(lambda s: not s["fullScreen"] and not s["window"]["maximised"],
                                "Alt+Enter to leave full screen")
            self.assertTrue(s["menuBar"]["attached"])
            self.assertTrue(s["panel"]["shown"])
            self.assertEqual(s["window"], before, "round %d: the window came back elsewhere" % round)

    def test_properties_and_help(self):
        tone = self.make_tone(3)
        film = self.make_film([zxe2e.Segment(frames=300, fps=10, title="Talk", sound=tone),
                               zxe2e.Segment(frames=40, size=(64, 48), fps=5, title="Quiet")])
        player = self.start(self.pack(film))
        player.wait_for(lambda s: s.playing, "the film to play")
        player.key("F8")
        box = player.expect_box("^Film properties$")
        self.assertIn("Segments count: 2", box.text)
        self.assertIn("[96 x 64 x 32 bit / 10 fps  Sound: mp3]:  Talk", box.text)
        self.assertIn("[64 x 48 x 32 bit / 5 fps  ]:  Quiet", box.text)
        player.key("F1")
        box = player.expect_box("^Help$")
        self.assertIn("Documentation is available", box.text)
        # Ctrl+O is refused while a film carried by the player plays.
        s = player.state()
        self.assertTrue(s.menu_item("File", "Load...")["grayed"])
        player.key("ctrl+o")
        player.key("F10")
        player.wait_for(lambda s: s.paused and not s.boxes, "no open-file dialog")


if __name__ == "__main__":
    zxe2e.main()
