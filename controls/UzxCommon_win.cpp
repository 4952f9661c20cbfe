#include "UzxCommon_win.h"

#include "zxClasses.h"
#include "zxMessages.h"

#include <cstring>

namespace {

// Kept between calls: fields a call does not set stay as the last left them.
LOGFONTA FontRecord{};
std::string FontFace;

int CALLBACK MatchFontFamily(const LOGFONTA *font, const TEXTMETRICA *, DWORD, LPARAM data) {
  const auto *full = reinterpret_cast<const ENUMLOGFONTA *>(font);
  if (FontFace != reinterpret_cast<const char *>(full->elfFullName)) return 1;
  *reinterpret_cast<LOGFONTA *>(data) = *font;
  return 0;
}

} // namespace

void RegisterWindowClass(const TzxWindowClass &windowClass) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (GetClassInfoA(instance, windowClass.Name, &wc)) return;
  wc = {};
  wc.style = windowClass.Style;
  wc.lpfnWndProc = windowClass.Procedure;
  wc.hInstance = instance;
  wc.hIcon = windowClass.Icon;
  wc.hCursor = windowClass.Cursor;
  wc.hbrBackground = windowClass.Background;
  wc.lpszMenuName = windowClass.MenuName;
  wc.lpszClassName = windowClass.Name;
  if (RegisterClassA(&wc) == 0) throw EzxError(std::string("RegisterClass: ") + windowClass.Name);
}

void ShowWndProcError() {
  ShowMessageBox(TzxBoxOwner::None, "Error in WndProc", "Error", zxMB_OK);
}

HBITMAP SetButtonBitmap(HWND button, const char *resourceName) {
  const HBITMAP bitmap = LoadBitmapA(GetModuleHandleA(nullptr), resourceName);
  SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  return bitmap;
}

void SetButtonCheck(HWND button, bool checked) {
  SendMessageA(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

RECT MakeRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return RECT{left, top, right, bottom};
}

RECT RectFromSize(int32_t x, int32_t y, int32_t w, int32_t h) {
  RECT r{};
  if (w < 0) {
    r.right = x;
    r.left = x + w + 1;
  } else {
    r.left = x;
    r.right = x + w - 1;
  }
  if (h < 0) {
    r.bottom = y;
    r.top = y + h + 1;
  } else {
    r.top = y;
    r.bottom = y + h - 1;
  }
  return r;
}

void SetMenuText(HMENU menu, UINT position, const std::string &text) {
  if (text.empty() || text[0] == '\b') return;
  std::string buffer = text;
  MENUITEMINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_TYPE;
  info.fType = MFT_STRING;
  info.dwTypeData = buffer.data();
  info.cch = static_cast<UINT>(buffer.size() + 1);
  if (!SetMenuItemInfoA(menu, position, TRUE, &info))
    ShowMessageBox(TzxBoxOwner::None, "SetMenuText: SetMenuItemInfo error", "Debug", zxMB_OK);
}

DWORD CheckMenuItemAt(HMENU menu, UINT position, bool checked) {
  return CheckMenuItem(menu, position, MF_BYPOSITION | (checked ? MF_CHECKED : MF_UNCHECKED));
}

DWORD EnableMenuItemAt(HMENU menu, UINT position, bool enabled) {
  return EnableMenuItem(menu, position, MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
}

HFONT CreateFontByName(const std::string &face, int32_t height, uint32_t style) {
  FontFace = face;
  if (const HDC screen = GetDC(nullptr)) {
    EnumFontFamiliesA(screen, face.c_str(), MatchFontFamily, reinterpret_cast<LPARAM>(&FontRecord));
    ReleaseDC(nullptr, screen);
  }
  FontRecord.lfHeight = height;
  FontRecord.lfWidth = 0;
  FontRecord.lfCharSet = DEFAULT_CHARSET;
  FontRecord.lfWeight = (style & fsBold) ? FW_BOLD : FW_NORMAL;
  FontRecord.lfItalic = (style & fsItalic) ? 1 : 0;
  FontRecord.lfUnderline = (style & fsUnderline) ? 1 : 0;
  FontRecord.lfStrikeOut = (style & fsStrikeOut) ? 1 : 0;
  return CreateFontIndirectA(&FontRecord);
}

std::wstring Utf8ToWide(const std::string &text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}
