// The main window's menus: the context menu, the check marks and greyed
// items that follow the player state, the translated menu texts, and the
// film properties text. Items are addressed by position (separators count)
// here and nowhere else: the rest of the player hands over a TzxMenuState.
#pragma once

#include "ZxcabClasses.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The context menu, in the order of its positions.
HMENU BuildPopupMenu();

// What the menu rules look at.
struct TzxMenuState {
  int32_t PlayState = 0; // 0 stopped, 1 playing, 2 paused
  bool NoEmbeddedFilm = false;
  bool PanelVisible = false;
  bool FullScreen = false;
  bool SegmentsVisible = false;
  bool HasSegmentList = false;
  int32_t SegmentCount = 0;
};
// Brings the menu bar's drop-downs (either may be null) and the context
// menu in step with the state.
void UpdateMenuItems(HMENU bar, HMENU popup, const TzxMenuState &state);

// Puts the texts of a language block (lines of name=value) on the menus.
// An empty block changes nothing.
void ApplyMenuLanguage(HMENU bar, HMENU popup, const char *block, int32_t length);

// The film properties box's text: the executable's path, the segment count
// and one line per segment.
std::string FilmPropertiesText(const std::string &exePath, const TSegmentList &list);
