// The about box under Wine: its children laid out from the client size,
// its caption, and the ways it ends.
#include "UzxPAbout_win.h"
#include "zxTesting_win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ClassOf(HWND wnd) {
  char name[64] = {};
  GetClassNameA(wnd, name, sizeof name);
  return name;
}

RECT ChildRect(HWND dlg, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&r), 2);
  return r;
}

} // namespace

TEST(UzxPAbout, ChildrenAndCaption) {
  const HWND dlg = CreateAboutBox(nullptr);
  ASSERT_NE(nullptr, dlg);
  char caption[64] = {};
  GetWindowTextA(dlg, caption, sizeof caption);
  EXPECT_STREQ("About reDiridi", caption);
  RECT c{};
  GetClientRect(dlg, &c);
  const LONG W = c.right, H = c.bottom;

  const HWND close = GetDlgItem(dlg, IDOK);
  ASSERT_NE(nullptr, close);
  char text[16] = {};
  GetWindowTextA(close, text, sizeof text);
  EXPECT_STREQ("Close", text);
  RECT r = ChildRect(dlg, close);
  EXPECT_EQ(3 * W / 4 - 8, r.left);
  EXPECT_EQ(13 * H / 16, r.top);
  EXPECT_EQ(W / 4, r.right - r.left);
  EXPECT_EQ(H / 7, r.bottom - r.top);

  const HWND link = FindWindowExA(dlg, nullptr, "Link", nullptr);
  ASSERT_NE(nullptr, link);
  EXPECT_EQ("Link", ClassOf(link));
  EXPECT_EQ((TzxClassFacts{CS_HREDRAW | CS_VREDRAW,
                           LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)),
                           reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)}),
            ClassFactsOf(link));
  r = ChildRect(dlg, link);
  EXPECT_EQ(W / 4, r.left);
  EXPECT_EQ(5 * H / 8, r.top);
  EXPECT_EQ(16, r.bottom - r.top);
  DestroyWindow(dlg);

  const HWND again = CreateAboutBox(nullptr);
  EXPECT_NE(nullptr, FindWindowExA(again, nullptr, "Link", nullptr))
      << "a second opening finds the Link class registered";
  DestroyWindow(again);
}

TEST(UzxPAbout, EndsOnCloseAndEscapeOnly) {
  const HWND dlg = CreateAboutBox(nullptr);
  ASSERT_NE(nullptr, dlg);
  EXPECT_EQ(0, AboutDlgProc(dlg, WM_COMMAND, 5, 0)) << "other commands do nothing";
  EXPECT_EQ(1, AboutDlgProc(dlg, WM_ERASEBKGND, 0, 0));
  EXPECT_EQ(1, AboutDlgProc(dlg, WM_COMMAND, IDCANCEL, 0));
  DestroyWindow(dlg);
}
