#include "zxControls_win.h"

#include "UzxCommon_win.h"
#include "zxMessages.h"

namespace {

// The atom "zxCD", added once per process and deleted at its end.
class TzxControlAtom {
public:
  TzxControlAtom() : FAtom(GlobalAddAtomA("zxCD")) {}
  ~TzxControlAtom() {
    if (FAtom != 0) GlobalDeleteAtom(FAtom);
  }
  TzxControlAtom(const TzxControlAtom &) = delete;
  TzxControlAtom &operator=(const TzxControlAtom &) = delete;
  ATOM Get() const { return FAtom; }

private:
  ATOM FAtom;
};

LPCSTR PropName() {
  return MAKEINTATOM(ControlAtom());
}

} // namespace

ATOM ControlAtom() {
  static TzxControlAtom atom;
  return atom.Get();
}

TzxControl::~TzxControl() {
  if (FHandle != nullptr) {
    RemovePropA(FHandle, PropName());
    DestroyWindow(FHandle);
  }
}

void TzxControl::Construct(HWND parent) {
  FBackgroundBrush = GetBackgroundBrush();
  FWindowClassName = GetWindowClassName();
  FStyle = GetStyle();
  FExStyle = GetExStyle();
  FParentHandle = parent;

  RegisterWindowClass({.Name = FWindowClassName.c_str(),
                       .Procedure = ControlWindowProc,
                       .Cursor = GetCursor(),
                       .Background = FBackgroundBrush});

  const HWND wnd = CreateWindowExA(FExStyle, FWindowClassName.c_str(), "", FStyle, 0, 0, 0, 0,
                                   FParentHandle, nullptr, GetModuleHandleA(nullptr), this);
  if (wnd == nullptr) {
    ShowMessageBox(TzxBoxOwner::None, "FHandle = 0", "", zxMB_OK);
    return;
  }
  FHandle = wnd;
  Initialize();
}

void TzxControl::SetLeft(int32_t v) {
  FLeft = v;
  ApplyBounds();
}
void TzxControl::SetTop(int32_t v) {
  FTop = v;
  ApplyBounds();
}
void TzxControl::SetWidth(int32_t v) {
  FWidth = v;
  ApplyBounds();
}
void TzxControl::SetHeight(int32_t v) {
  FHeight = v;
  ApplyBounds();
}

void TzxControl::ApplyBounds() {
  if (FHandle == nullptr) return;
  // MoveWindow reports back through WM_MOVE and WM_SIZE: keep the asked bounds.
  const int32_t l = FLeft, t = FTop, w = FWidth, h = FHeight;
  MoveWindow(FHandle, l, t, w, h, TRUE);
  FLeft = l, FTop = t, FWidth = w, FHeight = h;
}

HBRUSH TzxControl::GetBackgroundBrush() {
  return reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
}

HCURSOR TzxControl::GetCursor() {
  return LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
}

DWORD TzxControl::GetStyle() {
  return WS_CHILD | WS_VISIBLE | WS_BORDER;
}

DWORD TzxControl::GetExStyle() {
  return 0;
}

void TzxControl::Created(HWND wnd) {
  FHandle = wnd;
}

void TzxControl::Initialize() {
  ApplyBounds();
}

LRESULT TzxControl::BoundsChanging(WPARAM, RECT &r) {
  FLeft = r.left;
  FTop = r.top;
  FWidth = r.right - r.left + 1;
  FHeight = r.bottom - r.top + 1;
  return 1;
}

void TzxControl::Resized(WPARAM, LPARAM size) {
  FWidth = LOWORD(size);
  FHeight = HIWORD(size);
}

void TzxControl::Moved(WPARAM, LPARAM pos) {
  FLeft = LOWORD(pos);
  FTop = HIWORD(pos);
}

LRESULT TzxControl::EraseBackground(HDC) {
  return 0;
}

LRESULT TzxControl::WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE: Created(wnd); return 0;
  case WM_MOVE: Moved(wp, lp); return 0;
  case WM_SIZE: Resized(wp, lp); return 0;
  case WM_ERASEBKGND: return EraseBackground(reinterpret_cast<HDC>(wp));
  case WM_SIZING:
  case WM_MOVING: return BoundsChanging(wp, *reinterpret_cast<RECT *>(lp));
  case UM_APPLYBOUNDS: ApplyBounds(); return 0;
  default: return DefWindowProcA(wnd, msg, wp, lp);
  }
}

LRESULT CALLBACK ControlWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return GuardWndProc([&] {
    if (msg == WM_NCCREATE) {
      const auto *cs = reinterpret_cast<const CREATESTRUCTA *>(lp);
      if (cs->lpCreateParams != nullptr) SetPropA(wnd, PropName(), cs->lpCreateParams);
    }
    auto *control = static_cast<TzxControl *>(GetPropA(wnd, PropName()));
    if (control == nullptr) return DefWindowProcA(wnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
      RemovePropA(wnd, PropName());
      control->FHandle = nullptr;
      return DefWindowProcA(wnd, msg, wp, lp);
    }
    return control->WindowProc(wnd, msg, wp, lp);
  });
}
