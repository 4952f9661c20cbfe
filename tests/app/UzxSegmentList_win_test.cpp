// The segments window under Wine: its class and list, the rows of a film
// made with the film writer, the selection and what Enter, Escape, double
// click and the right button ask of the shell.
#include "UzxSegmentList_win.h"
#include "zxLoader.h"
#include "zxPlayer_win.h"
#include "zxTesting.h"
#include "zxTesting_win.h"
#include "zxTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string ClassOf(HWND wnd) {
  char name[64] = {};
  GetClassNameA(wnd, name, sizeof name);
  return name;
}

// A film of three titled segments loaded as the current film, and the
// segments window on a hidden parent whose shell requests are logged.
class SegmentListTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::vector<TzxFilmEntry> entries;
    for (const char *title : {"One", "Two", "Three"}) {
      TzxFilmEntry e;
      e.Segment = SampleSegment(TzxPacking::CabinetStored);
      e.Segment.Title = title;
      entries.push_back(e);
    }
    LoadInto(Film, entries);
    SegmentList = &Film;
    CurrentSegment = 0;
    SetSegmentListShell({[this] { Log.push_back("Toggle"); }, [this] { Log.push_back("Popup"); },
                         [this](int32_t n) {
                           Log.push_back("Open " + std::to_string(n));
                           return true;
                         },
                         [this] { Log.push_back("UpdateSegmentInfo"); }});
    Parent = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 700, 500, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, CreateSegmentsWindow(Parent));
    ASSERT_NE(nullptr, SegmentListBox);
  }
  void TearDown() override {
    DestroyWindow(Parent);
    SegmentList = nullptr;
    CurrentSegment = 0;
    SetSegmentListShell({});
  }
  void LoadInto(TSegmentList &list, const std::vector<TzxFilmEntry> &entries) {
    const std::string path = Dir.File("film" + std::to_string(Films++) + ".zxf");
    WriteWholeFile(path, BuildFilm(entries));
    TzxFileStream stream(path, fmOpenRead | fmShareDenyWrite);
    ASSERT_TRUE(LoadFilm(&stream, list));
  }
  static std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    const auto count = SendMessageA(SegmentListBox, LB_GETCOUNT, 0, 0);
    for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
      char text[256] = {};
      SendMessageA(SegmentListBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      rows.emplace_back(text);
    }
    return rows;
  }
  static LRESULT Selection() { return SendMessageA(SegmentListBox, LB_GETCURSEL, 0, 0); }

  TzxTestDir Dir;
  int Films = 0;
  TSegmentList Film;
  HWND Parent = nullptr;
  std::vector<std::string> Log;
};

using Calls = std::vector<std::string>;

} // namespace

TEST_F(SegmentListTest, WindowIsAHiddenChildWithAListBox) {
  EXPECT_EQ(ClassOf(SegmentsWindow), "zxSegmentList");
  EXPECT_EQ(ClassFactsOf(SegmentsWindow), PlainWindowClass());
  EXPECT_EQ(GetParent(SegmentsWindow), Parent);
  EXPECT_EQ(GetParent(SegmentListBox), SegmentsWindow);
  EXPECT_EQ(ClassOf(SegmentListBox), "ListBox");
  EXPECT_FALSE(GetWindowLongA(SegmentsWindow, GWL_STYLE) & WS_VISIBLE);
  EXPECT_TRUE(GetWindowLongA(SegmentsWindow, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
  EXPECT_TRUE(GetWindowLongA(SegmentListBox, GWL_STYLE) & LBS_NOTIFY);
  EXPECT_FALSE(GetWindowLongA(SegmentListBox, GWL_STYLE) & LBS_SORT);
  RECT r{};
  GetWindowRect(SegmentsWindow, &r);
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 300);
  EXPECT_EQ(Rows(), Calls{});
  // A second window reuses the registered class.
  const HWND first = SegmentsWindow;
  EXPECT_NE(nullptr, CreateSegmentsWindow(Parent));
  EXPECT_NE(first, SegmentsWindow);
}

TEST_F(SegmentListTest, FillListsTheTitlesInOrderWithTheCurrentSegmentSelected) {
  CurrentSegment = 1;
  FillSegmentsList();
  EXPECT_EQ(Rows(), (Calls{"One", "Two", "Three"}));
  EXPECT_EQ(Selection(), 1);
  // Refilling replaces the rows rather than adding to them.
  CurrentSegment = 2;
  FillSegmentsList();
  EXPECT_EQ(Rows(), (Calls{"One", "Two", "Three"}));
  EXPECT_EQ(Selection(), 2);
}

TEST_F(SegmentListTest, FillAfterAnotherFilmShowsOnlyItsSegments) {
  FillSegmentsList();
  TSegmentList other;
  TzxFilmEntry e;
  e.Segment = SampleSegment(TzxPacking::CabinetStored);
  e.Segment.Title = "Alone";
  LoadInto(other, {e});
  SegmentList = &other;
  CurrentSegment = 0;
  FillSegmentsList();
  EXPECT_EQ(Rows(), Calls{"Alone"});
  EXPECT_EQ(Selection(), 0);
  // A film without segments leaves no rows of the film before.
  TSegmentList empty;
  SegmentList = &empty;
  FillSegmentsList();
  EXPECT_EQ(Rows(), Calls{});
  SegmentList = &Film;
}

TEST_F(SegmentListTest, OpenedSegmentIsSelected) {
  FillSegmentsList();
  SelectListedSegment(2);
  EXPECT_EQ(Selection(), 2);
  SelectListedSegment(0);
  EXPECT_EQ(Selection(), 0);
}

TEST_F(SegmentListTest, DoubleClickHidesTheWindowAndOpensThatSegment) {
  FillSegmentsList();
  SendMessageA(SegmentListBox, LB_SETCURSEL, 1, 0);
  SendMessageA(SegmentListBox, WM_LBUTTONDBLCLK, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(Log, (Calls{"Toggle", "Open 1", "UpdateSegmentInfo"}));
}

TEST_F(SegmentListTest, EnterOpensTheSelectedSegment) {
  FillSegmentsList();
  SendMessageA(SegmentListBox, LB_SETCURSEL, 2, 0);
  SendMessageA(SegmentListBox, WM_KEYUP, VK_RETURN, 0);
  EXPECT_EQ(Log, (Calls{"Toggle", "Open 2", "UpdateSegmentInfo"}));
}

TEST_F(SegmentListTest, EnterWithoutSelectionOnlyHidesTheWindow) {
  FillSegmentsList();
  SendMessageA(SegmentListBox, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SendMessageA(SegmentListBox, WM_KEYUP, VK_RETURN, 0);
  EXPECT_EQ(Log, (Calls{"Toggle", "UpdateSegmentInfo"}));
}

TEST_F(SegmentListTest, EscapeHidesOnlyAShownWindow) {
  FillSegmentsList();
  SendMessageA(SegmentListBox, WM_KEYUP, VK_ESCAPE, 0);
  EXPECT_EQ(Log, Calls{});
  ShowWindow(Parent, SW_SHOWNOACTIVATE);
  ShowWindow(SegmentsWindow, SW_SHOW);
  SendMessageA(SegmentListBox, WM_KEYUP, VK_ESCAPE, 0);
  EXPECT_EQ(Log, Calls{"Toggle"});
  EXPECT_EQ(Selection(), 0);
}

TEST_F(SegmentListTest, OtherKeysMoveTheSelection) {
  FillSegmentsList();
  SetFocus(SegmentListBox);
  SendMessageA(SegmentListBox, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(Selection(), 1);
  EXPECT_EQ(Log, Calls{});
}

TEST_F(SegmentListTest, RightButtonShowsTheContextMenu) {
  SendMessageA(SegmentListBox, WM_RBUTTONDOWN, 0, 0);
  SendMessageA(SegmentsWindow, WM_RBUTTONDOWN, 0, 0);
  EXPECT_EQ(Log, (Calls{"Popup", "Popup"}));
}

TEST_F(SegmentListTest, PaintPlacesTheListUnderTheTitleBar) {
  ShowWindow(Parent, SW_SHOWNOACTIVATE);
  MoveWindow(SegmentsWindow, 0, 0, 400, 300, TRUE);
  ShowWindow(SegmentsWindow, SW_SHOW);
  InvalidateRect(SegmentsWindow, nullptr, TRUE);
  UpdateWindow(SegmentsWindow);
  RECT r{};
  GetWindowRect(SegmentListBox, &r);
  MapWindowPoints(nullptr, SegmentsWindow, reinterpret_cast<POINT *>(&r), 2);
  EXPECT_EQ(r.left, 4);
  EXPECT_EQ(r.top, 24);
  EXPECT_EQ(r.right, 396);
  EXPECT_EQ(r.bottom, 296);
  HDC dc = GetDC(SegmentsWindow);
  EXPECT_EQ(GetPixel(dc, 390, 10), RGB(144, 152, 168)); // title bar
  EXPECT_EQ(GetPixel(dc, 0, 150), RGB(144, 152, 168));  // outline
  ReleaseDC(SegmentsWindow, dc);
}
