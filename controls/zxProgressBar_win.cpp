#include "zxProgressBar_win.h"

#include "zxHandles_win.h"

namespace {

constexpr COLORREF BarColour = RGB(160, 168, 184);

struct TzxBarObjects {
  TzxGdiObject BarBrush{CreateSolidBrush(BarColour)};
  TzxGdiObject BarPen{CreatePen(PS_SOLID, 1, BarColour)};
  TzxGdiObject WhiteBrush{CreateSolidBrush(RGB(255, 255, 255))};
  TzxGdiObject BlackPen{CreatePen(PS_SOLID, 1, RGB(0, 0, 0))};
};

const TzxBarObjects &BarObjects() {
  static TzxBarObjects objects;
  return objects;
}

} // namespace

TzxProgressBar::TzxProgressBar() {
  Model.OnSelect = [this](int32_t index, bool &allow) {
    if (OnSelect) OnSelect(*this, index, allow);
  };
}

void TzxProgressBar::SetPosition(float seconds) {
  Model.SetPosition(seconds);
  if (Handle() != nullptr) InvalidateRect(Handle(), nullptr, FALSE);
}

HCURSOR TzxProgressBar::GetCursor() {
  return LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
}

DWORD TzxProgressBar::GetStyle() {
  return WS_CHILD | WS_VISIBLE | WS_TABSTOP;
}

void TzxProgressBar::Initialize() {
  SetWidth(200);
  SetHeight(10);
  SetLeft(0);
  SetTop(0);
  Model.SetPosition(0);
  TzxControl::Initialize();
}

void TzxProgressBar::Resized(WPARAM kind, LPARAM size) {
  TzxControl::Resized(kind, size);
  Model.Width = Width();
}

LRESULT TzxProgressBar::WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_PAINT: OnPaint(); return 0;
  case WM_LBUTTONDOWN: OnLButtonDown(LOWORD(lp)); return 0;
  default: return TzxControl::WindowProc(wnd, msg, wp, lp);
  }
}

void TzxProgressBar::OnPaint() {
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(Handle(), &ps);
  if (dc != nullptr) {
    const TzxBarObjects &o = BarObjects();
    TzxSelect pen(dc, o.BarPen.Get());
    TzxSelect brush(dc, o.WhiteBrush.Get());
    Rectangle(dc, 0, 0, Width(), Height());
    {
      TzxSelect bar(dc, o.BarBrush.Get());
      Rectangle(dc, 2, 2, Model.PositionToX(Model.Position()), Height() - 2);
    }
    TzxSelect black(dc, o.BlackPen.Get());
    for (const int32_t x : Model.BoundaryColumns()) {
      MoveToEx(dc, x, 2, nullptr);
      LineTo(dc, x, Height() - 2);
    }
  }
  EndPaint(Handle(), &ps);
}
