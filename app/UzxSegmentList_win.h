// The segments window ("zxSegmentList"): a child along the left edge of the
// main window with a title bar and a list box of the film's segment titles,
// from which the user jumps to a segment (Enter or double click). Escape
// hides it. Everything runs on the thread that made the window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

constexpr const char *SegmentsClassName = "zxSegmentList";

// What the segments window asks of the shell.
struct TzxSegmentListShell {
  std::function<void()> ToggleSegmentsWindow;
  std::function<void()> ShowPopupMenu;
  std::function<bool(int32_t n)> OpenSegment;
  std::function<void()> UpdateSegmentInfo;
};
void SetSegmentListShell(TzxSegmentListShell shell);

extern HWND SegmentsWindow;
extern HWND SegmentListBox;

// Registers the class (once) and makes the hidden window, child of parent.
HWND CreateSegmentsWindow(HWND parent);
// Refills the list from SegmentList and selects CurrentSegment. A film
// without segments empties the list.
void FillSegmentsList();
// Selects entry n of the list (nothing without the window).
void SelectListedSegment(int32_t n);
// Hides the window and opens the selected segment (none selected: nothing
// is opened).
void ChooseListedSegment();
