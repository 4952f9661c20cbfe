// The main window's menus under Wine: the context menu, the rules that
// check and grey items by position, the translated texts and the film
// properties text.
#include "zxMenus_win.h"
#include "zxCommands.h"
#include "zxTesting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A menu bar laid out as the player's resource lays it out.
HMENU MakeBar() {
  const HMENU bar = CreateMenu();
  const struct {
    const char *Title;
    std::vector<std::pair<UINT, const char *>> Items;
  } menus[] = {
      {"File",
       {{CMD_LOAD, "Load...\bCtrl+O"},
        {CMD_PROPERTIES, "Properties...\bF8"},
        {0, ""},
        {CMD_EXIT, "Exit"}}},
      {"Actions",
       {{CMD_PLAY, "Play\bF9"},
        {CMD_PAUSE, "Pause"},
        {CMD_STOP, "Stop"},
        {0, ""},
        {CMD_SEGMENTS, "Segments"},
        {CMD_PREV, "Previous segment"},
        {CMD_NEXT, "Next segment"}}},
      {"View", {{CMD_PANEL, "Show control panel"}, {CMD_FULL_SCREEN, "Full screen"}}},
      {"Help", {{CMD_HELP, "Context Help"}, {0, ""}, {CMD_ABOUT, "About..."}}},
  };
  for (const auto &m : menus) {
    const HMENU sub = CreatePopupMenu();
    for (const auto &[id, text] : m.Items)
      AppendMenuA(sub, id == 0 ? MF_SEPARATOR : MF_STRING, id, text);
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), m.Title);
  }
  return bar;
}

bool Checked(HMENU menu, UINT pos) {
  return (GetMenuState(menu, pos, MF_BYPOSITION) & MF_CHECKED) != 0;
}
bool Greyed(HMENU menu, UINT pos) {
  return (GetMenuState(menu, pos, MF_BYPOSITION) & MF_GRAYED) != 0;
}
std::string TextAt(HMENU menu, UINT pos) {
  char text[64] = {};
  GetMenuStringA(menu, pos, text, sizeof text, MF_BYPOSITION);
  return text;
}

} // namespace

TEST(zxMenus, PopupMenuOrder) {
  const HMENU popup = BuildPopupMenu();
  const UINT ids[] = {CMD_LOAD,  0,        CMD_PLAY, CMD_PAUSE, CMD_STOP,        0, CMD_SEGMENTS,
                      CMD_PREV,  CMD_NEXT, 0,        CMD_PANEL, CMD_FULL_SCREEN, 0, CMD_HELP,
                      CMD_ABOUT, 0,        CMD_EXIT};
  ASSERT_EQ(17, GetMenuItemCount(popup));
  for (UINT pos = 0; pos < 17; ++pos)
    EXPECT_EQ(ids[pos], ids[pos] == 0 ? 0u : GetMenuItemID(popup, static_cast<int>(pos)))
        << "position " << pos;
  EXPECT_EQ("Close", TextAt(popup, 16));
  DestroyMenu(popup);
}

TEST(zxMenus, StateRules) {
  const HMENU bar = MakeBar(), popup = BuildPopupMenu();
  const HMENU file = GetSubMenu(bar, 0), actions = GetSubMenu(bar, 1), view = GetSubMenu(bar, 2);

  TzxMenuState empty;
  empty.NoEmbeddedFilm = true;
  empty.PanelVisible = true;
  empty.HasSegmentList = true;
  UpdateMenuItems(bar, popup, empty);
  EXPECT_FALSE(Greyed(file, 0)) << "Load while stopped without an embedded film";
  EXPECT_FALSE(Greyed(popup, 0));
  EXPECT_TRUE(Checked(actions, 2));
  EXPECT_TRUE(Checked(popup, 4));
  for (UINT pos : {0u, 1u, 2u, 5u, 6u})
    EXPECT_TRUE(Greyed(actions, pos)) << pos;
  for (UINT pos : {2u, 3u, 4u, 7u, 8u})
    EXPECT_TRUE(Greyed(popup, pos)) << pos;
  EXPECT_TRUE(Greyed(file, 1));
  EXPECT_FALSE(Greyed(actions, 4)) << "Segments is never greyed";
  EXPECT_TRUE(Checked(view, 0));
  EXPECT_TRUE(Checked(popup, 10));
  EXPECT_FALSE(Checked(actions, 4));
  EXPECT_FALSE(Checked(popup, 6));

  TzxMenuState playing = empty;
  playing.PlayState = 1;
  playing.SegmentCount = 2;
  playing.PanelVisible = false;
  playing.FullScreen = true;
  playing.SegmentsVisible = true;
  UpdateMenuItems(bar, popup, playing);
  EXPECT_TRUE(Greyed(file, 0)) << "no Load while playing";
  EXPECT_TRUE(Checked(actions, 0));
  EXPECT_FALSE(Checked(actions, 2)) << "the Stop mark is cleared";
  EXPECT_TRUE(Checked(popup, 2));
  EXPECT_FALSE(Checked(popup, 4));
  EXPECT_FALSE(Greyed(actions, 5));
  EXPECT_FALSE(Greyed(popup, 8));
  EXPECT_FALSE(Checked(view, 0));
  EXPECT_TRUE(Checked(view, 1));
  EXPECT_TRUE(Checked(popup, 11));
  EXPECT_TRUE(Checked(actions, 4)) << "Segments is checked while the window shows";
  EXPECT_TRUE(Checked(popup, 6));

  TzxMenuState paused = playing;
  paused.PlayState = 2;
  UpdateMenuItems(nullptr, popup, paused);
  EXPECT_TRUE(Checked(popup, 3)) << "the context menu alone, in full screen";
  EXPECT_FALSE(Checked(popup, 2));
  DestroyMenu(bar);
  DestroyMenu(popup);
}

TEST(zxMenus, LanguageTexts) {
  TzxBoxRecorder boxes;
  const HMENU bar = MakeBar(), popup = BuildPopupMenu();
  const std::string block = "File=Datei\r\nPlay=Spielen\r\nContextHelp=Hilfe\r\nHelp=Hilfe!\r\n";
  ApplyMenuLanguage(bar, popup, block.data(), static_cast<int32_t>(block.size()));
  EXPECT_EQ("Datei", TextAt(bar, 0));
  EXPECT_EQ("Hilfe!", TextAt(bar, 3));
  EXPECT_EQ("Spielen\bF9", TextAt(GetSubMenu(bar, 1), 0));
  EXPECT_EQ("Hilfe!\bF1", TextAt(GetSubMenu(bar, 3), 0)) << "Help names the menu and its item";
  EXPECT_EQ("Pause", TextAt(GetSubMenu(bar, 1), 1)) << "keys without a value stay";
  EXPECT_EQ("Spielen", TextAt(popup, 2));
  EXPECT_EQ("Hilfe", TextAt(popup, 13));
  ApplyMenuLanguage(bar, popup, nullptr, 0);
  EXPECT_EQ("Datei", TextAt(bar, 0));
  EXPECT_TRUE(boxes.Boxes.empty());
  DestroyMenu(bar);
  DestroyMenu(popup);
}

TEST(zxMenus, FilmProperties) {
  TSegmentList list;
  for (int i = 0; i < 2; ++i) {
    TSegmentInfo *s = list.Add();
    s->Width = 800;
    s->Height = 600;
    s->BitsPerPixel = 16;
    s->FramesPerSecond = 10;
    s->Title[0] = 3;
    std::memcpy(&s->Title[1], i == 0 ? "One" : "Two", 3);
  }
  list.Get(1)->SoundFileName = "C:\\temp\\s.MP3";
  EXPECT_EQ("C:\\p.exe\r\rSegments count: 2\r\r"
            "[800 x 600 x 16 bit / 10 fps  ]:  One\r"
            "[800 x 600 x 16 bit / 10 fps  Sound: mp3]:  Two\r",
            FilmPropertiesText("C:\\p.exe", list));
}
