#include "UzxPAbout_win.h"

#include "UzxCommon_win.h"
#include "zxHandles_win.h"
#include "zxMessages.h"

#include <shellapi.h>

#include <memory>
#include <string>

namespace {

constexpr const char *CreditText = "2026\r\nThe reDiridi authors";

// What one opening of the box draws with.
struct TzxAboutObjects {
  int32_t W = 0, H = 0;
  TzxGdiObject WhiteBrush, Pen, TitleFont, TextFont, LinkFont;
};
std::unique_ptr<TzxAboutObjects> About;

void PaintLink(HWND wnd) {
  if (!About) return;
  TzxWindowDC dc(wnd);
  RECT r{};
  GetClientRect(wnd, &r);
  TzxSelect font(dc.Get(), About->LinkFont.Get());
  SetTextColor(dc.Get(), RGB(0, 0, 255));
  SetBkMode(dc.Get(), TRANSPARENT);
  DrawTextA(dc.Get(), AboutWebAddress, -1, &r, DT_LEFT | DT_TOP);
}

LRESULT HandleLink(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_PAINT: {
    const LRESULT r = DefWindowProcA(wnd, msg, wp, lp);
    PaintLink(wnd);
    return r;
  }
  case WM_LBUTTONDOWN:
    ShellExecuteA(nullptr, nullptr, AboutWebAddress, nullptr, nullptr, SW_SHOWMAXIMIZED);
    return 0;
  default: return DefWindowProcA(wnd, msg, wp, lp);
  }
}

LRESULT CALLBACK LinkWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return GuardWndProc([&] { return HandleLink(wnd, msg, wp, lp); });
}

void OnInitDialog(HWND dlg) {
  RECT c{};
  GetClientRect(dlg, &c);
  About = std::make_unique<TzxAboutObjects>();
  const int32_t W = About->W = c.right, H = About->H = c.bottom;
  About->WhiteBrush.Attach(CreateSolidBrush(RGB(255, 255, 255)));
  About->Pen.Attach(CreatePen(PS_SOLID, 1, RGB(128, 128, 136)));
  SetWindowTextA(dlg, "About reDiridi");
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  CreateWindowExA(0, "BUTTON", "Close", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 3 * W / 4 - 8,
                  13 * H / 16, W / 4, H / 7, dlg, reinterpret_cast<HMENU>(IDOK), instance, nullptr);
  // The class may exist from an earlier opening.
  RegisterWindowClass({.Name = "Link",
                       .Procedure = LinkWndProc,
                       .Style = CS_HREDRAW | CS_VREDRAW,
                       .Cursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND))});
  CreateWindowExA(0, "Link", "", WS_CHILD | WS_VISIBLE, W / 4, 5 * H / 8, 3 * W / 4, 16, dlg,
                  nullptr, instance, nullptr);
  About->TitleFont.Attach(CreateFontByName("Times New Roman", 32, fsBold));
  About->TextFont.Attach(CreateFontByName("Tahoma", 14, 0));
  About->LinkFont.Attach(CreateFontByName("Tahoma", 14, fsUnderline));
}

void PaintAbout(HWND dlg) {
  if (!About) return;
  const int32_t W = About->W, H = About->H;
  TzxWindowDC window(dlg);
  const HDC dc = window.Get();
  RECT all{0, 0, W, H};
  FillRect(dc, &all, static_cast<HBRUSH>(About->WhiteBrush.Get()));
  if (const HICON icon = LoadIconA(GetModuleHandleA(nullptr), "PMAINICON"))
    DrawIcon(dc, W / 32, H / 24, icon);
  {
    TzxSelect pen(dc, About->Pen.Get());
    MoveToEx(dc, W / 32, 3 * H / 4, nullptr);
    LineTo(dc, W - W / 32, 3 * H / 4);
  }
  SetBkColor(dc, RGB(255, 255, 255));
  TextOutA(dc, 9 * W / 16, H / 5, "version 2.0 beta 2", 18);
  {
    TzxSelect font(dc, About->TextFont.Get());
    RECT r = RectFromSize(W / 4, 3 * H / 8, W / 2, H / 2);
    DrawTextA(dc, CreditText, -1, &r, DT_LEFT | DT_TOP);
  }
  SetBkMode(dc, TRANSPARENT);
  TzxSelect font(dc, About->TitleFont.Get());
  SetTextColor(dc, RGB(160, 160, 160));
  TextOutA(dc, W / 4 + 2, H / 24 + 2, "reDiridi", 8);
  SetTextColor(dc, RGB(0, 0, 0));
  TextOutA(dc, W / 4, H / 24, "reDiridi", 8);
}

INT_PTR HandleAbout(HWND dlg, UINT msg, WPARAM wp) {
  switch (msg) {
  case WM_INITDIALOG: OnInitDialog(dlg); return 0;
  case WM_PAINT: PaintAbout(dlg); return 0;
  case WM_ERASEBKGND: return 1;
  case WM_COMMAND:
    if (LOWORD(wp) != IDOK && LOWORD(wp) != IDCANCEL) return 0;
    EndDialog(dlg, 1);
    return 1;
  case WM_DESTROY: About.reset(); return 0; // every way the box ends
  default: return 0;
  }
}

} // namespace

INT_PTR CALLBACK AboutDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  return GuardWndProc([&] { return HandleAbout(dlg, msg, wp); });
}

void ShowAboutBox(HWND owner) {
  DialogBoxParamA(GetModuleHandleA(nullptr), "ABOUTBOX", owner, AboutDlgProc, 0);
}

HWND CreateAboutBox(HWND owner) {
  return CreateDialogParamA(GetModuleHandleA(nullptr), "ABOUTBOX", owner, AboutDlgProc, 0);
}
