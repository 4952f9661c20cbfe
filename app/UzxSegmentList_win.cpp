// The segments window.
#include "UzxSegmentList_win.h"

#include "UzxBottomPanel_win.h"
#include "UzxCommon_win.h"
#include "zxHandles_win.h"
#include "zxMessages.h"
#include "zxPlayer_win.h"
#include "zxTexts.h"

#include <utility>

HWND SegmentsWindow = nullptr;
HWND SegmentListBox = nullptr;

namespace {

TzxSegmentListShell Shell;
WNDPROC ListBoxProc = nullptr; // the list box's own procedure
TzxGdiObject TitleBrush;
RECT SegmentsClient{};

constexpr COLORREF TitleColour = RGB(144, 152, 168);

void MoveFocusAway() {
  if (GetFocus() == SegmentListBox && SegmentsButton != nullptr) SetFocus(SegmentsButton);
}

void PaintSegmentsWindow(HWND wnd) {
  RECT title{4, 4, SegmentsClient.right - 4, 22};
  {
    TzxWindowDC dc(wnd);
    const HBRUSH brush = static_cast<HBRUSH>(TitleBrush.Get());
    FrameRect(dc.Get(), &SegmentsClient, brush);
    FillRect(dc.Get(), &title, brush);
    SetTextColor(dc.Get(), RGB(255, 255, 255));
    SetBkMode(dc.Get(), TRANSPARENT);
    title.left += 2;
    title.right -= 2;
    DrawTextA(dc.Get(), TextSegmentsTitle.c_str(), static_cast<int>(TextSegmentsTitle.size()),
              &title, DT_LEFT | DT_TOP);
  }
  if (SegmentListBox != nullptr)
    MoveWindow(SegmentListBox, 4, 24, SegmentsClient.right - 8, SegmentsClient.bottom - 28, TRUE);
}

LRESULT HandleListMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_KEYDOWN:
  case WM_KEYUP:
    if (wp == VK_RETURN) {
      ChooseListedSegment();
      MoveFocusAway();
      return 0;
    }
    if (wp == VK_ESCAPE) {
      if (IsWindowVisible(wnd) && Shell.ToggleSegmentsWindow) Shell.ToggleSegmentsWindow();
      MoveFocusAway();
      return 0;
    }
    break;
  case WM_LBUTTONDBLCLK: ChooseListedSegment(); return 0;
  case WM_RBUTTONDOWN:
    if (Shell.ShowPopupMenu) Shell.ShowPopupMenu();
    return 0;
  default: break;
  }
  return CallWindowProcA(ListBoxProc, wnd, msg, wp, lp);
}

LRESULT CALLBACK SegmentListProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return GuardWndProc([&] { return HandleListMessage(wnd, msg, wp, lp); });
}

LRESULT HandleSegmentsMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE:
    TitleBrush.Attach(CreateSolidBrush(TitleColour));
    GetClientRect(wnd, &SegmentsClient);
    SegmentListBox = CreateWindowExA(
        0, "LISTBOX", "",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, 8, 8,
        100, 100, wnd, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (SegmentListBox != nullptr)
      ListBoxProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
          SegmentListBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SegmentListProc)));
    return 0;
  case WM_DESTROY:
    TitleBrush.Close();
    SegmentListBox = nullptr;
    if (wnd == SegmentsWindow) SegmentsWindow = nullptr;
    return 0;
  case WM_SIZE: GetClientRect(wnd, &SegmentsClient); return 0;
  case WM_PAINT: {
    const LRESULT result = DefWindowProcA(wnd, msg, wp, lp);
    PaintSegmentsWindow(wnd);
    return result;
  }
  case WM_RBUTTONDOWN:
    if (Shell.ShowPopupMenu) Shell.ShowPopupMenu();
    return 0;
  default: return DefWindowProcA(wnd, msg, wp, lp);
  }
}

LRESULT CALLBACK SegmentsWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return GuardWndProc([&] { return HandleSegmentsMessage(wnd, msg, wp, lp); });
}

} // namespace

void SetSegmentListShell(TzxSegmentListShell shell) {
  Shell = std::move(shell);
}

HWND CreateSegmentsWindow(HWND parent) {
  RegisterWindowClass(
      {.Name = SegmentsClassName, .Procedure = SegmentsWndProc, .MenuName = SegmentsClassName});
  SegmentsWindow = CreateWindowExA(WS_EX_CONTROLPARENT, SegmentsClassName, "",
                                   WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, 0, 0,
                                   400, 300, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
  return SegmentsWindow;
}

void FillSegmentsList() {
  if (SegmentListBox == nullptr || SegmentList == nullptr) return;
  SendMessageA(SegmentListBox, LB_RESETCONTENT, 0, 0);
  for (int32_t i = 0; i < SegmentList->Count(); ++i)
    SendMessageA(SegmentListBox, LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(SegmentList->Get(i)->TitleText().c_str()));
  SelectListedSegment(CurrentSegment);
}

void SelectListedSegment(int32_t n) {
  if (SegmentListBox != nullptr) SendMessageA(SegmentListBox, LB_SETCURSEL, n, 0);
}

void ChooseListedSegment() {
  if (SegmentListBox == nullptr) return;
  const int32_t n = static_cast<int32_t>(SendMessageA(SegmentListBox, LB_GETCURSEL, 0, 0));
  if (Shell.ToggleSegmentsWindow) Shell.ToggleSegmentsWindow();
  if (n >= 0 && Shell.OpenSegment) Shell.OpenSegment(n);
  if (Shell.UpdateSegmentInfo) Shell.UpdateSegmentInfo();
}
