// The control windows under Wine: the GUI helpers, the base class's message
// handling and the slider's and progress bar's messages, recorded as
// sequences and compared.
#include "UzxCommon_win.h"
#include "zxControls_win.h"
#include "zxHandles_win.h"
#include "zxProgressBar_win.h"
#include "zxSlider_win.h"
#include "zxTesting.h"
#include "zxTesting_win.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A hidden top-level window to hold the controls.
class TzxTestParent {
public:
  TzxTestParent()
      : FWnd(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 640, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr)) {}
  ~TzxTestParent() { DestroyWindow(FWnd); }
  TzxTestParent(const TzxTestParent &) = delete;
  TzxTestParent &operator=(const TzxTestParent &) = delete;
  HWND Get() const { return FWnd; }

private:
  HWND FWnd;
};

// A slider that records the messages that reach its object.
class TzxLoggedSlider : public TzxSlider {
public:
  std::vector<UINT> Seen;
  bool ThrowOnPaint = false;

protected:
  friend class TzxControl;
  TzxLoggedSlider() = default;
  LRESULT WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) override {
    Seen.push_back(msg);
    if (msg == WM_USER + 7) throw std::runtime_error("handler failed");
    return TzxSlider::WindowProc(wnd, msg, wp, lp);
  }
};

// A plain control of the base class with a class name of its own.
class TzxPlainControl : public TzxControl {
public:
  int32_t CreatedCalls = 0;

protected:
  friend class TzxControl;
  TzxPlainControl() = default;
  std::string GetWindowClassName() override { return "zxTestPlain"; }
  void Created(HWND wnd) override {
    ++CreatedCalls;
    TzxControl::Created(wnd);
  }
};

LPARAM At(int32_t x, int32_t y = 5) {
  return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

// The class of the slider and the progress bar.
TzxClassFacts ControlClass() {
  return {CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
          LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)),
          reinterpret_cast<HBRUSH>(COLOR_MENU + 1)};
}

bool Contains(const std::vector<UINT> &seen, UINT msg) {
  for (UINT m : seen)
    if (m == msg) return true;
  return false;
}

} // namespace

// ---- GUI helpers

TEST(UzxCommon, RectFromSizeCountsBothEnds) {
  RECT r = RectFromSize(500, 1, -170, 20);
  EXPECT_EQ(331, r.left);
  EXPECT_EQ(1, r.top);
  EXPECT_EQ(500, r.right);
  EXPECT_EQ(20, r.bottom);
  r = RectFromSize(10, 10, 0, 5);
  EXPECT_EQ(10, r.left);
  EXPECT_EQ(9, r.right) << "w = 0 is empty";
  r = RectFromSize(10, 10, -1, -1);
  EXPECT_EQ(10, r.left);
  EXPECT_EQ(10, r.right);
  EXPECT_EQ(10, r.top);
  EXPECT_EQ(10, r.bottom);
}

TEST(UzxCommon, MenuItemsByPosition) {
  TzxBoxRecorder boxes;
  const HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, 10, "One");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, 30, "Three");
  char text[32] = {};

  SetMenuText(menu, 2, "Drei");
  GetMenuStringA(menu, 2, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ("Drei", text);
  SetMenuText(menu, 2, "");
  SetMenuText(menu, 2, "\bignored");
  GetMenuStringA(menu, 2, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ("Drei", text) << "empty and backspace texts change nothing";
  EXPECT_TRUE(boxes.Boxes.empty());

  SetMenuText(menu, 9, "Nine");
  ASSERT_EQ(1u, boxes.Boxes.size());
  EXPECT_EQ("SetMenuText: SetMenuItemInfo error", boxes.Boxes[0].Text);
  EXPECT_EQ("Debug", boxes.Boxes[0].Caption);

  EXPECT_EQ(static_cast<DWORD>(MF_UNCHECKED), CheckMenuItemAt(menu, 0, true));
  EXPECT_EQ(static_cast<DWORD>(MF_CHECKED), CheckMenuItemAt(menu, 0, false));
  EXPECT_EQ(static_cast<DWORD>(MF_ENABLED), EnableMenuItemAt(menu, 2, false));
  EXPECT_EQ(static_cast<DWORD>(MF_GRAYED), EnableMenuItemAt(menu, 2, true));
  DestroyMenu(menu);
}

TEST(UzxCommon, FontStyleBitsAndFallbackFace) {
  LOGFONTA f{};
  HFONT font = CreateFontByName("Tahoma", 13, fsBold | fsItalic);
  ASSERT_NE(nullptr, font);
  GetObjectA(font, sizeof f, &f);
  DeleteObject(font);
  EXPECT_EQ(13, f.lfHeight);
  EXPECT_EQ(FW_BOLD, f.lfWeight);
  EXPECT_EQ(1, f.lfItalic);
  const std::string matched = f.lfFaceName;

  font = CreateFontByName("No Such Face zx", 9, 0);
  ASSERT_NE(nullptr, font);
  GetObjectA(font, sizeof f, &f);
  DeleteObject(font);
  EXPECT_EQ(9, f.lfHeight);
  EXPECT_EQ(FW_NORMAL, f.lfWeight) << "style 0 clears the earlier bold";
  EXPECT_EQ(0, f.lfItalic);
  EXPECT_EQ(0, f.lfUnderline);
  EXPECT_EQ(0, f.lfStrikeOut);
  EXPECT_EQ(matched, f.lfFaceName) << "a missing face keeps the last one found";
}

TEST(UzxCommon, ButtonCheck) {
  TzxTestParent parent;
  const HWND button = CreateWindowExA(0, "BUTTON", "", WS_CHILD | BS_AUTOCHECKBOX | BS_PUSHLIKE, 0,
                                      0, 24, 24, parent.Get(), nullptr, nullptr, nullptr);
  SetButtonCheck(button, true);
  EXPECT_EQ(BST_CHECKED, SendMessageA(button, BM_GETCHECK, 0, 0));
  SetButtonCheck(button, false);
  EXPECT_EQ(BST_UNCHECKED, SendMessageA(button, BM_GETCHECK, 0, 0));
  EXPECT_EQ(nullptr, SetButtonBitmap(button, "NOSUCHBMP")) << "a missing bitmap sets no image";
}

TEST(UzxCommon, WindowClassesRegisterOnce) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterWindowClass({.Name = "zxTestClass", .Procedure = DefWindowProcA});
  WNDCLASSA wc{};
  ASSERT_TRUE(GetClassInfoA(instance, "zxTestClass", &wc));
  EXPECT_EQ(PlainWindowClass(), (TzxClassFacts{wc.style, wc.hCursor, wc.hbrBackground}));
  EXPECT_EQ(nullptr, wc.lpszMenuName);

  RegisterWindowClass({.Name = "zxTestClass", .Procedure = DefWindowProcA, .Style = CS_NOCLOSE});
  ASSERT_TRUE(GetClassInfoA(instance, "zxTestClass", &wc));
  EXPECT_EQ(static_cast<UINT>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS), wc.style)
      << "the first registration stays";

  const std::string tooLong(300, 'x');
  EXPECT_THROW(RegisterWindowClass({.Name = tooLong.c_str(), .Procedure = DefWindowProcA}),
               EzxError);
}

TEST(UzxCommon, GuardedHandlersShowOneBox) {
  TzxBoxRecorder boxes;
  EXPECT_EQ(7, GuardWndProc([] { return LRESULT{7}; }));
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_EQ(0, GuardWndProc([]() -> INT_PTR { throw std::runtime_error("dialog"); }));
  EXPECT_EQ(0, GuardWndProc([]() -> LRESULT { throw 5; })) << "anything raised is caught";
  EXPECT_EQ(2u, boxes.Boxes.size()) << "one box each (its text: HandlerErrorsAreCaught)";
}

// ---- Base class

TEST(zxControls, CreationReachesTheObjectAndSizes) {
  TzxTestParent parent;
  auto control = TzxControl::Create<TzxPlainControl>(parent.Get());
  ASSERT_NE(nullptr, control->Handle());
  EXPECT_EQ(1, control->CreatedCalls) << "WM_CREATE reaches the object";
  char name[32] = {};
  GetClassNameA(control->Handle(), name, sizeof name);
  EXPECT_STREQ("zxTestPlain", name);
  EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE | WS_BORDER),
            GetWindowLongA(control->Handle(), GWL_STYLE) & 0xFFFF0000);
  EXPECT_EQ(control.get(), GetPropA(control->Handle(), MAKEINTATOM(ControlAtom())));

  auto second = TzxControl::Create<TzxPlainControl>(parent.Get());
  EXPECT_NE(nullptr, second->Handle()) << "a registered class name makes a second window";
}

TEST(zxControls, BoundsMessages) {
  TzxTestParent parent;
  auto control = TzxControl::Create<TzxPlainControl>(parent.Get());
  const HWND wnd = control->Handle();
  RECT r{10, 20, 110, 70};
  EXPECT_EQ(1, SendMessageA(wnd, WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&r)));
  EXPECT_EQ(10, control->Left());
  EXPECT_EQ(20, control->Top());
  EXPECT_EQ(101, control->Width());
  EXPECT_EQ(51, control->Height());

  SendMessageA(wnd, UM_APPLYBOUNDS, 0, 0);
  RECT w{};
  GetWindowRect(wnd, &w);
  MapWindowPoints(nullptr, parent.Get(), reinterpret_cast<POINT *>(&w), 2);
  EXPECT_EQ(10, w.left);
  EXPECT_EQ(20, w.top);
  EXPECT_EQ(101, w.right - w.left);
  EXPECT_EQ(51, w.bottom - w.top);

  SendMessageA(wnd, WM_MOVE, 0, At(-3, 4));
  EXPECT_EQ(65533, control->Left()) << "the halves are read unsigned";
  EXPECT_EQ(0, SendMessageA(wnd, WM_ERASEBKGND, 0, 0));
}

TEST(zxControls, HandlerErrorsAreCaught) {
  TzxBoxRecorder boxes;
  TzxTestParent parent;
  auto slider = TzxControl::Create<TzxLoggedSlider>(parent.Get());
  EXPECT_EQ(0, SendMessageA(slider->Handle(), WM_USER + 7, 0, 0));
  ASSERT_EQ(1u, boxes.Boxes.size());
  EXPECT_EQ("Error in WndProc", boxes.Boxes[0].Text);
  EXPECT_EQ("Error", boxes.Boxes[0].Caption);
}

TEST(zxControls, WindowDestroyedByParentFirst) {
  auto parent = std::make_unique<TzxTestParent>();
  auto slider = TzxControl::Create<TzxSlider>(parent->Get());
  const HWND wnd = slider->Handle();
  parent.reset();
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_EQ(nullptr, slider->Handle()) << "the object forgets a window destroyed with its parent";
}

// ---- Slider

TEST(zxSlider, DefaultsAndClass) {
  TzxTestParent parent;
  auto slider = TzxControl::Create<TzxLoggedSlider>(parent.Get());
  EXPECT_EQ(120, slider->Width());
  EXPECT_EQ(24, slider->Height());
  EXPECT_EQ(0, slider->Min());
  EXPECT_EQ(10, slider->Max());
  EXPECT_EQ(0, slider->Position());
  char name[32] = {};
  GetClassNameA(slider->Handle(), name, sizeof name);
  EXPECT_STREQ("zxSlider", name);
  EXPECT_EQ(ControlClass(), ClassFactsOf(slider->Handle()));
  EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE | WS_TABSTOP),
            GetWindowLongA(slider->Handle(), GWL_STYLE) & 0xFFFF0000);
  EXPECT_TRUE(Contains(slider->Seen, WM_CREATE));
  EXPECT_TRUE(Contains(slider->Seen, WM_SIZE));
}

TEST(zxSlider, ClicksAndDragsWithCapture) {
  TzxTestParent parent;
  auto slider = TzxControl::Create<TzxLoggedSlider>(parent.Get());
  std::vector<int32_t> changes;
  slider->OnChange = [&](TzxSlider &s) { changes.push_back(s.Position()); };
  MoveWindow(slider->Handle(), 420, 18, 70, 20, TRUE);
  slider->SetMax(8);
  slider->SetPosition(3);
  EXPECT_EQ(20, slider->ThumbPos());
  EXPECT_EQ(3, slider->Position());
  EXPECT_EQ((std::vector<int32_t>{3}), changes);

  const HWND wnd = slider->Handle();
  slider->Seen.clear();
  changes.clear();
  SendMessageA(wnd, WM_MOUSEMOVE, 0, At(60));
  EXPECT_EQ(3, slider->Position()) << "a move without button-down changes nothing";
  EXPECT_TRUE(changes.empty());

  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(0));
  EXPECT_EQ(wnd, GetCapture());
  EXPECT_TRUE(slider->Dragging());
  EXPECT_EQ(0, slider->ThumbPos());
  EXPECT_EQ(0, slider->Position());
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, At(500));
  EXPECT_EQ(54, slider->ThumbPos()) << "dragging past the end keeps the thumb at the end";
  EXPECT_EQ(8, slider->Position());
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, At(-40));
  EXPECT_EQ(0, slider->ThumbPos());
  SendMessageA(wnd, WM_LBUTTONUP, 0, At(-40));
  EXPECT_EQ(nullptr, GetCapture()) << "capture is released on button-up";
  EXPECT_FALSE(slider->Dragging());
  EXPECT_EQ((std::vector<int32_t>{0, 8, 0}), changes);

  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(69));
  SendMessageA(wnd, WM_LBUTTONUP, 0, At(69));
  EXPECT_EQ(54, slider->ThumbPos());
  EXPECT_EQ(8, slider->Position());

  std::vector<UINT> mouse;
  for (UINT m : slider->Seen)
    if (m == WM_MOUSEMOVE || m == WM_LBUTTONDOWN || m == WM_LBUTTONUP || m == WM_CAPTURECHANGED)
      mouse.push_back(m);
  const std::vector<UINT> expected = {WM_MOUSEMOVE,   WM_LBUTTONDOWN, WM_MOUSEMOVE,
                                      WM_MOUSEMOVE,   WM_LBUTTONUP,   WM_CAPTURECHANGED,
                                      WM_LBUTTONDOWN, WM_LBUTTONUP,   WM_CAPTURECHANGED};
  EXPECT_EQ(expected, mouse);
}

TEST(zxSlider, CoarseGridSettlesOnShownValue) {
  TzxTestParent parent;
  auto slider = TzxControl::Create<TzxSlider>(parent.Get());
  std::vector<int32_t> changes;
  MoveWindow(slider->Handle(), 494, 18, 50, 20, TRUE);
  slider->SetMax(100);
  slider->OnChange = [&](TzxSlider &s) { changes.push_back(s.Position()); };
  slider->SetPosition(37);
  EXPECT_EQ(13, slider->ThumbPos());
  EXPECT_EQ(38, slider->Position());
  EXPECT_EQ((std::vector<int32_t>{38, 38}), changes);
  changes.clear();
  slider->SetPosition(38);
  slider->SetPosition(500);
  slider->SetPosition(100);
  EXPECT_EQ((std::vector<int32_t>{100}), changes)
      << "values that clamp to the current call nothing";
}

TEST(zxSlider, ThumbBitmapIsDrawnInsideThumb) {
  TzxTestParent parent;
  ShowWindow(parent.Get(), SW_SHOWNOACTIVATE);
  auto slider = TzxControl::Create<TzxSlider>(parent.Get());
  TzxWindowDC screen(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen.Get(), 14, 14);
  {
    TzxMemoryDC dc(CreateCompatibleDC(screen.Get()));
    TzxSelect sel(dc.Get(), bitmap);
    RECT all{0, 0, 14, 14};
    TzxGdiObject red(CreateSolidBrush(RGB(255, 0, 0)));
    FillRect(dc.Get(), &all, static_cast<HBRUSH>(red.Get()));
  }
  slider->SetThumbBitmap(bitmap);
  MoveWindow(slider->Handle(), 0, 0, 70, 20, TRUE);
  UpdateWindow(slider->Handle());
  TzxWindowDC dc(slider->Handle());
  EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc.Get(), 8, 10)) << "thumb bitmap";
  EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc.Get(), 15, 10)) << "thumb outline";
  EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc.Get(), 40, 10)) << "track";
}

// ---- Progress bar

TEST(zxProgressBar, ClicksSelectSegments) {
  TzxTestParent parent;
  auto bar = TzxControl::Create<TzxProgressBar>(parent.Get());
  EXPECT_EQ(200, bar->Width());
  EXPECT_EQ(10, bar->Height());
  char name[32] = {};
  GetClassNameA(bar->Handle(), name, sizeof name);
  EXPECT_STREQ("zxProgressBar", name);
  EXPECT_EQ(ControlClass(), ClassFactsOf(bar->Handle()));

  std::vector<int32_t> asked;
  bool allow = true;
  bar->OnSelect = [&](TzxProgressBar &, int32_t i, bool &a) {
    asked.push_back(i);
    a = allow;
  };
  SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(50));
  EXPECT_TRUE(asked.empty()) << "no lengths, no selection";

  bar->AddLength(10);
  bar->AddLength(30);
  SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(48));
  EXPECT_EQ(0.0f, bar->Position());
  SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(49));
  EXPECT_EQ(10.0f, bar->Position());
  SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(198));
  EXPECT_EQ((std::vector<int32_t>{0, 1}), asked) << "a click at the end selects nothing";

  allow = false;
  SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(10));
  EXPECT_EQ(10.0f, bar->Position()) << "a refused selection leaves the position";
  bar->Select(2);
  EXPECT_EQ((std::vector<int32_t>{0, 1, 0}), asked);
}

TEST(zxProgressBar, PositionClampsAndPaints) {
  TzxTestParent parent;
  ShowWindow(parent.Get(), SW_SHOWNOACTIVATE);
  auto bar = TzxControl::Create<TzxProgressBar>(parent.Get());
  bar->AddLength(10);
  bar->AddLength(30);
  bar->SetPosition(-5);
  EXPECT_EQ(0.0f, bar->Position());
  bar->SetPosition(1000);
  EXPECT_EQ(40.0f, bar->Position());
  bar->SetPosition(20);
  UpdateWindow(bar->Handle());
  TzxWindowDC dc(bar->Handle());
  EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc.Get(), 51, 5)) << "segment mark";
  EXPECT_EQ(RGB(160, 168, 184), GetPixel(dc.Get(), 30, 5)) << "elapsed part";
  EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc.Get(), 150, 5)) << "rest";
}
