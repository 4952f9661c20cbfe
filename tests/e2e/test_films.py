#!/usr/bin/env python3
"""Where films come from: carried by the player, named on the command line,
chosen with Load (also a file that is no film), or none at all; the
language block that translates the player; and a film of the screen's own
size, which plays in full screen until Stop gives back the window."""
import zxe2e


def small_film(test, name="film.zxf", titles=("One", "Two"), frames=300):
    return test.make_film([zxe2e.Segment(frames=frames, fps=10, title=t, seed=len(name) + i)
                           for i, t in enumerate(titles)], name=name)


def plain(w, h, k):
    """A picture of one colour, different in every frame: quick to make large."""
    return bytes((k * 37 % 256, 80, 160)) * (w * h)


def open_file_dialog(player):
    player.key("ctrl+o")
    return player.wait_box("^Open$")


def choose_in_dialog(test, player, dialog, path):
    """Types a Windows path into the open-file dialog and confirms it."""
    edit = dialog.control(cls="Edit")
    player.set_text(edit, zxe2e.windows_path(path))
    player.press(dialog, "Open" if any(b.text.replace("&", "") == "Open"
                                       for b in dialog.buttons) else "OK")
    player.wait_box_gone(dialog)


class FilmsTest(zxe2e.PlayerTestCase):
    def test_bare_player_starts_without_a_film_or_a_box(self):
        player = self.start(self.bare_player())
        s = player.wait_for(lambda s: s.has_main and s["segmentCount"] == 0, "an empty player")
        self.assertTrue(s.stopped)
        self.assertTrue(s["noEmbeddedFilm"])
        self.assertFalse(s.menu_item("File", "Load...")["grayed"], "Load is offered")
        for item in ("Play", "Pause", "Stop", "Previous segment", "Next segment"):
            self.assertTrue(s.menu_item("Actions", item)["grayed"], item)
        self.assertTrue(s.menu_item("Actions", "Stop")["checked"])
        self.assertEqual(s.boxes, [])

    def test_film_on_the_command_line_plays_with_the_options_around_it(self):
        film = small_film(self)
        player = self.start(self.bare_player(), args=["/size", "800", "500", zxe2e.windows_path(
            film.path), "/segm", "2"])
        s = player.wait_for(lambda s: s.playing and s.segment == 1, "the film's second segment")
        self.assertEqual(s["segmentCount"], 2)
        self.assertIn(zxe2e.windows_path(film.path), s["title"])
        self.assertEqual(s["window"]["right"] - s["window"]["left"], 800)
        self.assertEqual(s["window"]["bottom"] - s["window"]["top"], 500)

    def test_load_a_film_then_a_file_that_is_not_one(self):
        player = self.start(self.bare_player())
        player.wait_for(lambda s: s.has_main and s.stopped, "an empty player")
        film = small_film(self, titles=("Loaded one", "Loaded two"))
        choose_in_dialog(self, player, open_file_dialog(player), film.path)
        s = player.wait_for(lambda s: s["segmentCount"] == 2, "the film to load")
        self.assertTrue(s.stopped, "a loaded film waits for Play")
        self.assertIn(zxe2e.windows_path(film.path), s["title"])
        title = s["title"]
        self.assertFalse(s.menu_item("Actions", "Play")["grayed"])
        player.key("F9")
        player.wait_for(lambda s: s.playing and s.frame > 5, "F9 to play the loaded film")
        player.key("F11")
        player.wait_for(lambda s: s.stopped, "F11")

        # A file that is no film: a box says why, and the film stays.
        junk = self.path("notes.zxf")
        with open(junk, "w") as f:
            f.write("these are my notes, not a film\n" * 20)
        with player.allow_boxes("Cannot load the film"):
            choose_in_dialog(self, player, open_file_dialog(player), junk)
        box = player.expect_box("Cannot load the film")
        self.assertIn("notes.zxf", box.text)
        self.assertIn("announces", box.text)
        s = player.wait_for(lambda s: not s.boxes, "the box to go")
        self.assertEqual(s["segmentCount"], 2, "the film loaded before stays")
        self.assertEqual(s["title"], title)
        self.assertFalse(s.menu_item("File", "Load...")["grayed"])
        self.assertFalse(s.menu_item("Actions", "Play")["grayed"])
        player.key("F9")
        player.wait_for(lambda s: s.playing and s.frame > 5, "the film before to play")

    def test_language_block(self):
        lang = self.path("german.txt")
        with open(lang, "wb") as f:
            f.write(b"Play = Abspielen\r\nSegments=Abschnitte\r\nError=Fehler\r\n"
                    b"help=Hilfe\r\nLoading=\r\n")
        player = self.start(self.pack(small_film(self), lang=lang), args=["/size", "abc"],
                            wait_main=False)
        # The command line's error box keeps its own texts.
        box = player.expect_box("Wrong command line")
        self.assertEqual(box.caption, "Error")
        s = player.wait_for(lambda s: s.playing, "the film to play")
        self.assertEqual(s.menu("Actions")[0]["text"], "Abspielen\bF9")
        self.assertEqual(s["popupMenu"][2]["text"], "Abspielen")
        self.assertEqual(s.menu("Actions")[4]["text"], "Abschnitte\bF6")
        self.assertEqual(s["menuBar"]["menus"][3]["text"], "Hilfe")
        self.assertEqual(s.menu("Actions")[1]["text"], "Pause\bF10", "untranslated stays")

    def test_a_film_of_the_screens_size_plays_full_screen_until_stop(self):
        w, h = zxe2e.SCREEN
        film = self.make_film([zxe2e.Segment(frames=20, size=(w, h), fps=2,
                                             picture=lambda k: plain(w, h, k))])
        player = self.start(self.pack(film), args=["/size", "640", "480", "/pos", "50", "60"])
        s = player.wait_for(lambda s: s.playing and s["fullScreen"], "full screen for the film")
        self.assertFalse(s["menuBar"]["attached"])
        player.key("F11")
        s = player.wait_for(lambda s: s.stopped and not s["fullScreen"], "Stop to leave it")
        self.assertFalse(s["window"]["maximised"], "the window is not left maximised")
        self.assertEqual((s["window"]["left"], s["window"]["top"], s["window"]["right"],
                          s["window"]["bottom"]), (50, 60, 690, 540),
                         "Stop gives back the rectangle left")
        self.assertTrue(s["panelVisible"] and s["panel"]["shown"])

    def test_a_larger_film_is_shrunk_to_fit_the_client_exactly(self):
        film = self.make_film([zxe2e.Segment(frames=20, size=(1600, 1200), fps=2,
                                             picture=lambda k: plain(1600, 1200, k))])
        player = self.start(self.pack(film))
        s = player.wait_for(lambda s: s.playing and s["window"]["maximised"],
                            "the window maximised for a film larger than the screen")
        p, c = s["picture"], s["client"]
        self.assertTrue(p["scaled"])
        self.assertEqual(p["scaledHeight"], c["height"] - 40, "the picture fills the height")
        self.assertLessEqual(p["x"] + p["scaledWidth"], c["width"])
        self.assertEqual(p["scaledWidth"], round(1600 * p["scaledHeight"] / 1200))


if __name__ == "__main__":
    zxe2e.main()
