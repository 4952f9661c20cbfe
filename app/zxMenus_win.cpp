#include "zxMenus_win.h"

#include "UzxCommon_win.h"
#include "zxClasses.h"
#include "zxCommands.h"
#include "zxTexts.h"

#include <cstdio>

namespace {

struct TzxMenuItem {
  UINT Id; // 0: separator
  const char *Text;
};

constexpr TzxMenuItem PopupItems[] = {
    {CMD_LOAD, "Load..."},
    {0, nullptr},
    {CMD_PLAY, "Play"},
    {CMD_PAUSE, "Pause"},
    {CMD_STOP, "Stop"},
    {0, nullptr},
    {CMD_SEGMENTS, "Segments"},
    {CMD_PREV, "Previous segment"},
    {CMD_NEXT, "Next segment"},
    {0, nullptr},
    {CMD_PANEL, "Show control panel"},
    {CMD_FULL_SCREEN, "Full screen"},
    {0, nullptr},
    {CMD_HELP, "Help"},
    {CMD_ABOUT, "About..."},
    {0, nullptr},
    {CMD_EXIT, "Close"},
};

// A menu (-1: the bar itself), a position, a key and a shortcut suffix.
struct TzxMenuText {
  int32_t Menu;
  UINT Position;
  const char *Key;
  const char *Suffix;
};

constexpr TzxMenuText BarTexts[] = {
    {-1, 0, "File", nullptr}, {-1, 1, "Actions", nullptr}, {-1, 2, "View", nullptr},
    {-1, 3, "Help", nullptr}, {0, 0, "Load", "Ctrl + O"},  {0, 1, "Properties", "F8"},
    {0, 3, "Exit", "Alt+F4"}, {1, 0, "Play", "F9"},        {1, 1, "Pause", "F10"},
    {1, 2, "Stop", "F11"},    {1, 4, "Segments", "F6"},    {1, 5, "Prev", "F4"},
    {1, 6, "Next", "F5"},     {2, 0, "ShowPanel", "F7"},   {2, 1, "FullScreen", "Alt + Enter"},
    {3, 0, "Help", "F1"},     {3, 2, "About", nullptr},
};

constexpr TzxMenuText PopupTexts[] = {
    {0, 0, "Load", nullptr},         {0, 2, "Play", nullptr},       {0, 3, "Pause", nullptr},
    {0, 4, "Stop", nullptr},         {0, 6, "Segments", nullptr},   {0, 7, "Prev", nullptr},
    {0, 8, "Next", nullptr},         {0, 10, "ShowPanel", nullptr}, {0, 11, "FullScreen", nullptr},
    {0, 13, "ContextHelp", nullptr}, {0, 14, "About", nullptr},     {0, 16, "Close", nullptr},
};

void CheckAt(HMENU menu, UINT position, bool on) {
  if (menu != nullptr) CheckMenuItemAt(menu, position, on);
}

void EnableAt(HMENU menu, UINT position, bool on) {
  if (menu != nullptr) EnableMenuItemAt(menu, position, on);
}

} // namespace

HMENU BuildPopupMenu() {
  const HMENU menu = CreatePopupMenu();
  for (const TzxMenuItem &item : PopupItems)
    AppendMenuA(menu, item.Id == 0 ? MF_SEPARATOR : MF_STRING, item.Id, item.Text);
  return menu;
}

void UpdateMenuItems(HMENU bar, HMENU popup, const TzxMenuState &state) {
  const HMENU file = bar != nullptr ? GetSubMenu(bar, 0) : nullptr;
  const HMENU actions = bar != nullptr ? GetSubMenu(bar, 1) : nullptr;
  const HMENU view = bar != nullptr ? GetSubMenu(bar, 2) : nullptr;
  EnableAt(file, 0, false);
  EnableAt(popup, 0, false);
  for (UINT pos : {0u, 1u, 2u})
    CheckAt(actions, pos, false);
  for (UINT pos : {2u, 3u, 4u, 10u, 11u})
    CheckAt(popup, pos, false);
  switch (state.PlayState) {
  case 0:
    EnableAt(file, 0, state.NoEmbeddedFilm);
    EnableAt(popup, 0, state.NoEmbeddedFilm);
    CheckAt(actions, 2, true);
    CheckAt(popup, 4, true);
    break;
  case 1:
    CheckAt(actions, 0, true);
    CheckAt(popup, 2, true);
    break;
  case 2:
    CheckAt(actions, 1, true);
    CheckAt(popup, 3, true);
    break;
  default: break;
  }
  CheckAt(view, 0, state.PanelVisible);
  CheckAt(popup, 10, state.PanelVisible);
  CheckAt(view, 1, state.FullScreen);
  CheckAt(popup, 11, state.FullScreen);
  CheckAt(actions, 4, state.SegmentsVisible);
  CheckAt(popup, 6, state.SegmentsVisible);
  if (state.HasSegmentList) {
    const bool any = state.SegmentCount > 0;
    EnableAt(file, 1, any);
    for (UINT pos : {0u, 1u, 2u, 5u, 6u})
      EnableAt(actions, pos, any);
    for (UINT pos : {2u, 3u, 4u, 7u, 8u})
      EnableAt(popup, pos, any);
  }
}

void ApplyMenuLanguage(HMENU bar, HMENU popup, const char *block, int32_t length) {
  if (block == nullptr || length <= 0) return;
  TzxStringList texts;
  texts.SetText(block, length);
  for (const TzxMenuText &t : BarTexts) {
    if (bar == nullptr) break;
    const HMENU menu = t.Menu < 0 ? bar : GetSubMenu(bar, t.Menu);
    std::string text = texts.Values(t.Key);
    if (menu == nullptr || text.empty()) continue;
    if (t.Suffix != nullptr) text += std::string("\b") + t.Suffix;
    SetMenuText(menu, t.Position, text);
  }
  for (const TzxMenuText &t : PopupTexts)
    if (popup != nullptr) SetMenuText(popup, t.Position, texts.Values(t.Key));
}

std::string FilmPropertiesText(const std::string &exePath, const TSegmentList &list) {
  std::string text = exePath + "\r\r" + FormatText(TextSegmentCount, list.Count()) + "\r\r";
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TSegmentInfo *s = list.Get(i);
    const char *sound = MediaKindOfFile(s->SoundFileName) == mkMp3 ? "Sound: mp3" : "";
    char line[128];
    std::snprintf(line, sizeof line, "[%d x %d x %d bit / %d fps  %s]:  ", s->Width, s->Height,
                  s->BitsPerPixel, s->FramesPerSecond, sound);
    text += line + s->TitleText() + "\r";
  }
  return text;
}
