#include "zxSlider_win.h"

#include "zxHandles_win.h"

namespace {

HBRUSH ThumbBrush() {
  static TzxGdiObject brush(CreateSolidBrush(RGB(224, 224, 224)));
  return static_cast<HBRUSH>(brush.Get());
}

} // namespace

TzxSlider::TzxSlider() {
  Model.OnChange = [this] {
    if (OnChange) OnChange(*this);
  };
  Model.OnThumbMoved = [this] {
    if (Handle() != nullptr) InvalidateRect(Handle(), nullptr, TRUE);
  };
}

TzxSlider::~TzxSlider() {
  if (FThumbBitmap != nullptr) DeleteObject(FThumbBitmap);
}

void TzxSlider::SetThumbBitmap(HBITMAP bitmap) {
  if (FThumbBitmap != nullptr) DeleteObject(FThumbBitmap);
  FThumbBitmap = bitmap;
}

HCURSOR TzxSlider::GetCursor() {
  return LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
}

DWORD TzxSlider::GetStyle() {
  return WS_CHILD | WS_VISIBLE | WS_TABSTOP;
}

void TzxSlider::Initialize() {
  SetWidth(120);
  SetHeight(24);
  SetLeft(0);
  SetTop(0);
  Model.Min = 0;
  Model.Max = 10;
  Model.ThumbWidth = 16;
  Model.ThumbHeight = 16;
  TzxControl::Initialize();
}

void TzxSlider::Resized(WPARAM kind, LPARAM size) {
  TzxControl::Resized(kind, size);
  Model.Resized(Width());
}

LRESULT TzxSlider::WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_PAINT: OnPaint(); return 0;
  case WM_MOUSEMOVE: OnMouseMove(static_cast<SHORT>(LOWORD(lp))); return 0;
  case WM_LBUTTONDOWN: OnLButtonDown(static_cast<SHORT>(LOWORD(lp))); return 0;
  case WM_LBUTTONUP: OnLButtonUp(); return 0;
  case WM_CAPTURECHANGED: Model.ButtonUp(); return 0;
  default: return TzxControl::WindowProc(wnd, msg, wp, lp);
  }
}

void TzxSlider::OnLButtonDown(int32_t x) {
  SetCapture(Handle());
  Model.ButtonDown(x);
}

void TzxSlider::OnMouseMove(int32_t x) {
  Model.MouseMove(x);
}

void TzxSlider::OnLButtonUp() {
  Model.ButtonUp();
  if (GetCapture() == Handle()) ReleaseCapture();
}

void TzxSlider::OnPaint() {
  PAINTSTRUCT ps;
  const HDC dc = BeginPaint(Handle(), &ps);
  if (dc == nullptr) return;
  RECT client{};
  GetClientRect(Handle(), &client);
  FillRect(dc, &ps.rcPaint, BackgroundBrush());
  {
    TzxSelect pen(dc, FTrackPen != nullptr ? FTrackPen : GetStockObject(BLACK_PEN));
    Rectangle(dc, client.left + 1, client.top + 6, client.right - 1, client.top + 14);
    TzxSelect brush(dc, ThumbBrush());
    const TzxThumbRect t = Model.ThumbRect(client.left, client.top);
    // A disabled slider has no value to show: the track alone.
    const bool enabled = IsWindowEnabled(Handle()) != FALSE;
    if (enabled) Rectangle(dc, t.Left, t.Top, t.Right, t.Bottom);
    if (enabled && FThumbBitmap != nullptr) {
      TzxMemoryDC memory(CreateCompatibleDC(nullptr));
      if (memory) {
        TzxSelect bitmap(memory.Get(), FThumbBitmap);
        BitBlt(dc, t.Left + 1, t.Top + 1, Model.ThumbWidth - 2, Model.ThumbHeight - 2, memory.Get(),
               0, 0, SRCCOPY);
      }
    }
  }
  EndPaint(Handle(), &ps);
}
