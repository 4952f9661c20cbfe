// Helpers of the Win32 test programs.
#pragma once

#include <windows.h>

// What a window's class was registered with.
struct TzxClassFacts {
  UINT Style = 0;
  HCURSOR Cursor = nullptr;
  HBRUSH Background = nullptr;
  bool operator==(const TzxClassFacts &) const = default;
};

inline TzxClassFacts ClassFactsOf(HWND wnd) {
  return {static_cast<UINT>(GetClassLongPtrA(wnd, GCL_STYLE)),
          reinterpret_cast<HCURSOR>(GetClassLongPtrA(wnd, GCLP_HCURSOR)),
          reinterpret_cast<HBRUSH>(GetClassLongPtrA(wnd, GCLP_HBRBACKGROUND))};
}

// The class of the player's plain windows: redrawn whole on resizing, taking
// double clicks, with the arrow cursor and the window colour.
inline TzxClassFacts PlainWindowClass() {
  return {CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
          LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)),
          reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)};
}
