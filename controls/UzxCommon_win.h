// Small helpers over the Win32 user interface shared by the shell, the
// about box, the control panel and the controls: window classes, the guard
// of every window and dialog procedure, button bitmaps and checks,
// rectangles, menu items by position and fonts by face name.
#pragma once

#include <windows.h>

#include <string>

// A window class of the executable: by default redrawn whole on resizing,
// taking double clicks, with the arrow cursor and the window colour.
struct TzxWindowClass {
  const char *Name = nullptr;
  WNDPROC Procedure = nullptr;
  UINT Style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  HICON Icon = nullptr;
  HCURSOR Cursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  HBRUSH Background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  const char *MenuName = nullptr;
};
// Registers the class unless one of its name is registered already (the
// first registration stays). A failed registration raises EzxError.
void RegisterWindowClass(const TzxWindowClass &windowClass);

// Shows the box of a window or dialog procedure whose handler raised.
void ShowWndProcError();
// Runs a window or dialog procedure's handler: its result, or 0 after
// ShowWndProcError when it raises anything.
template <typename Handler> auto GuardWndProc(Handler &&handler) -> decltype(handler()) {
  try {
    return handler();
  } catch (...) {
    ShowWndProcError();
    return 0;
  }
}

// Loads a bitmap resource of the executable and puts it on a push button.
// Nothing deletes the bitmap: the button shows it for its whole life.
HBITMAP SetButtonBitmap(HWND button, const char *resourceName);
void SetButtonCheck(HWND button, bool checked);

RECT MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
// A rectangle with (x, y) as one corner, extending w columns and h rows from
// it (negative: to the left or upwards), both ends counted.
RECT RectFromSize(int32_t x, int32_t y, int32_t w, int32_t h);

// Replaces the text of the menu item at a position. An empty text, or one
// starting with a backspace, leaves the item as it is.
void SetMenuText(HMENU menu, UINT position, const std::string &text);
DWORD CheckMenuItemAt(HMENU menu, UINT position, bool checked);
DWORD EnableMenuItemAt(HMENU menu, UINT position, bool enabled);

// A UTF-8 text for the platform's wide-character calls.
std::wstring Utf8ToWide(const std::string &text);

enum : uint32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
// A font of the installed family whose full name is the face; when none is,
// the face of the previous successful call (or the system's default). The
// caller owns the font.
HFONT CreateFontByName(const std::string &face, int32_t height, uint32_t style);
