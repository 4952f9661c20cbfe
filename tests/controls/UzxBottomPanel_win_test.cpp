// The control panel under Wine: its children, the commands its buttons
// send, the texts of the band and the volume and speed sliders.
#include "UzxBottomPanel_win.h"
#include "zxPlayer_win.h"
#include "zxProgressBar_win.h"
#include "zxSlider_win.h"
#include "zxTesting.h"
#include "zxTesting_win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// What the panel asked of the shell, in order.
struct TzxShellLog {
  std::vector<std::string> Calls;
  float Volume = 0;
  bool VolumeReadable = true; // the device tells its volume
  bool VolumeSettable = true; // and takes a new one
};

// A film of segments with the given frame counts and rates, made the
// current film, and a panel on a hidden parent.
class PanelTest : public ::testing::Test {
protected:
  void SetUp() override {
    Parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 700, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    SetPanelShell({[this](WORD id) { Log.Calls.push_back("Command " + std::to_string(id)); },
                   [this] { Log.Calls.push_back("UpdateMenuState"); },
                   [this] { Log.Calls.push_back("ShowPopupMenu"); },
                   [this]() -> std::optional<float> {
                     if (!Log.VolumeReadable) return std::nullopt;
                     return Log.Volume;
                   },
                   [this](float v) {
                     Log.Calls.push_back("SetVolume " + std::to_string(static_cast<int>(v)));
                     if (Log.VolumeSettable) Log.Volume = v;
                   }});
    ASSERT_NE(nullptr, CreateBottomPanel(Parent));
    MoveWindow(PanelWindow, 0, 60, 700, 40, TRUE);
  }
  void TearDown() override {
    DestroyWindow(Parent);
    SegmentList = nullptr;
    CurrentSegment = 0;
    FrameIndex = -1;
    SpeedPosition = NormalSpeedPosition;
    SetPanelShell({});
  }
  void MakeFilm(const std::vector<std::pair<int32_t, uint8_t>> &segments) {
    for (const auto &[frames, rate] : segments) {
      TSegmentInfo *s = Film.Add();
      s->Width = 800;
      s->Height = 600;
      s->BitsPerPixel = 16;
      s->FrameCount = frames;
      s->FramesPerSecond = rate;
      s->Title[0] = 5;
      std::memcpy(&s->Title[1], "Intro", 5);
    }
    SegmentList = &Film;
  }
  static void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&msg);
  }

  HWND Parent = nullptr;
  TzxShellLog Log;
  TSegmentList Film;
};

std::string ClassOf(HWND wnd) {
  char name[64] = {};
  GetClassNameA(wnd, name, sizeof name);
  return name;
}

} // namespace

TEST_F(PanelTest, ChildrenAndStartTexts) {
  EXPECT_EQ("zxBottomPanel", ClassOf(PanelWindow));
  EXPECT_EQ(PlainWindowClass(), ClassFactsOf(PanelWindow));
  EXPECT_EQ("600 x 400 x 32 / 12 fps", PanelInfoText());
  EXPECT_EQ("", PanelTimeText()) << "empty until the first time update";
  const struct {
    HWND Button;
    int Id;
    int Left;
    LONG Style;
  } buttons[] = {{PlayButton, 110, 8, 0x50010080},        {PauseButton, 111, 8, 0x50010080},
                 {StopButton, 112, 36, 0x50010080},       {SegmentsButton, 113, 72, 0x50011083},
                 {PrevButton, 114, 100, 0x50010080},      {NextButton, 115, 128, 0x50010080},
                 {FullScreenButton, 121, 164, 0x50011083}};
  for (const auto &b : buttons) {
    ASSERT_NE(nullptr, b.Button) << b.Id;
    EXPECT_STRCASEEQ("Button", ClassOf(b.Button).c_str()) << b.Id;
    EXPECT_EQ(b.Id, GetDlgCtrlID(b.Button));
    EXPECT_EQ(b.Style & ~WS_VISIBLE, GetWindowLongA(b.Button, GWL_STYLE) & ~WS_VISIBLE) << b.Id;
    RECT r{};
    GetWindowRect(b.Button, &r);
    MapWindowPoints(nullptr, PanelWindow, reinterpret_cast<POINT *>(&r), 2);
    EXPECT_EQ(b.Left, r.left) << b.Id;
    EXPECT_EQ(24, r.right - r.left) << b.Id;
    EXPECT_NE(0, SendMessageA(b.Button, BM_GETIMAGE, IMAGE_BITMAP, 0)) << "bitmap of " << b.Id;
  }
  ASSERT_NE(nullptr, PanelSpeedSlider());
  EXPECT_EQ(8, PanelSpeedSlider()->Max());
  EXPECT_EQ(3, PanelSpeedSlider()->Position());
  EXPECT_EQ(70, PanelSpeedSlider()->Width());
  EXPECT_EQ(100, PanelVolumeSlider()->Max());
  EXPECT_EQ(200, PanelSegmentBar()->Width());
  EXPECT_EQ(210, PanelSegmentBar()->Left());
}

TEST_F(PanelTest, CommandsGoToTheShell) {
  SendMessageA(PanelWindow, WM_COMMAND, 110, 0);
  SendMessageA(PanelWindow, WM_COMMAND, 121, 0);
  SendMessageA(PanelWindow, WM_COMMAND, 999, 0);
  SendMessageA(PanelWindow, WM_RBUTTONUP, 0, 0);
  const std::vector<std::string> expected = {"Command 110",     "UpdateMenuState", "Command 121",
                                             "UpdateMenuState", "UpdateMenuState", "ShowPopupMenu"};
  EXPECT_EQ(expected, Log.Calls);
}

TEST_F(PanelTest, TimeTextOfTheFilm) {
  MakeFilm({{300, 10}, {600, 20}});
  CurrentSegment = 1;
  FrameIndex = 99;
  UpdateSegmentInfo();
  EXPECT_EQ("800 x 600 x 16 / 20 fps", PanelInfoText());
  EXPECT_EQ("Intro", PanelTitleText());
  EXPECT_EQ("x1.0    00:00:35 | 00:01:00", PanelTimeText());
  EXPECT_EQ((std::vector<float>{30, 30}), PanelSegmentBar()->Lengths());
  EXPECT_EQ(35.0f, PanelSegmentBar()->Position());

  PanelSpeedSlider()->SetPosition(8);
  EXPECT_EQ("MAX    00:00:35 | 00:01:00", PanelTimeText()) << "the speed change updates the text";
  EXPECT_EQ(8, SpeedPosition);
  PanelSpeedSlider()->SetPosition(0);
  EXPECT_EQ("x0.1    00:00:35 | 00:01:00", PanelTimeText());
  PanelSpeedSlider()->SetPosition(3);

  FrameIndex = 199;
  RequestTimeText();
  RequestTimeText();
  Pump();
  EXPECT_EQ("x1.0    00:00:40 | 00:01:00", PanelTimeText()) << "a tick's request";

  CurrentSegment = 5;
  UpdateSegmentInfo();
  EXPECT_EQ("", PanelInfoText()) << "no record for the current segment";
  EXPECT_EQ("Intro", PanelTitleText());
}

TEST_F(PanelTest, TheSpeedIsTheModels) {
  MakeFilm({{300, 10}});
  SpeedPosition = 0;
  UpdateSegmentInfo();
  EXPECT_EQ("x0.1    00:00:00 | 00:00:30", PanelTimeText()) << "read from the model";
  DestroyWindow(PanelWindow);
  SpeedPosition = 7;
  ASSERT_NE(nullptr, CreateBottomPanel(Parent));
  EXPECT_EQ(7, PanelSpeedSlider()->Position()) << "a new panel starts at the model's speed";
  EXPECT_EQ(7, SpeedPosition);
}

TEST_F(PanelTest, BarClickBeyondTheFilmOpensNothing) {
  MakeFilm({{300, 10}, {0, 0}, {600, 20}});
  UpdateTimeText();
  EXPECT_EQ((std::vector<float>{30, 30}), PanelSegmentBar()->Lengths())
      << "segments without a rate add no entry";
  SendMessageA(PanelSegmentBar()->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(199, 5));
  EXPECT_EQ(0, CurrentSegment);
  EXPECT_EQ(0.0f, PanelSegmentBar()->Position());
}

TEST_F(PanelTest, VolumeFollowsTheSystemAndSetsIt) {
  Log.Volume = 42.5f;
  SendMessageA(PanelWindow, WM_TIMER, 0, 0);
  EXPECT_EQ(41, PanelVolumeSlider()->Position()) << "42 settles on the 50-pixel grid";
  EXPECT_TRUE(Log.Calls.empty()) << "following the system volume does not set it";
  EXPECT_EQ(42.5f, Log.Volume);
  const HWND slider = PanelVolumeSlider()->Handle();
  SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(49, 5));
  SendMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(49, 5));
  EXPECT_EQ(100, PanelVolumeSlider()->Position());
  ASSERT_FALSE(Log.Calls.empty());
  EXPECT_EQ("SetVolume 100", Log.Calls.front());
  EXPECT_EQ(100.0f, Log.Volume);
}

TEST_F(PanelTest, TheThumbAndThePercentageAlwaysAgree) {
  TzxSlider &volume = *PanelVolumeSlider();
  // Shown at the pixel its value stands at, with the device's own value.
  Log.Volume = 42.5f;
  SendMessageA(PanelWindow, WM_TIMER, 0, 0);
  EXPECT_EQ("42%", PanelVolumeText());
  const auto pixelOf = [&](int32_t value) {
    TzxSliderModel m;
    m.SetMax(100);
    m.Resized(volume.Width());
    m.SetPosition(value);
    return m.ThumbPos();
  };
  EXPECT_EQ(volume.ThumbPos(), pixelOf(42));
  // A device that keeps its volume: the thumb goes back to it after a drag.
  Log.VolumeSettable = false;
  Log.Volume = 30;
  SendMessageA(PanelWindow, WM_TIMER, 0, 0);
  const HWND slider = volume.Handle();
  SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 5));
  SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(45, 5));
  SendMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(45, 5));
  EXPECT_EQ("30%", PanelVolumeText());
  EXPECT_EQ(volume.Position(), 30);
  EXPECT_EQ(volume.ThumbPos(), pixelOf(30));
}

TEST_F(PanelTest, AVolumeThatCannotBeReadIsShownAsSuch) {
  Log.VolumeReadable = false;
  SendMessageA(PanelWindow, WM_TIMER, 0, 0);
  EXPECT_FALSE(IsWindowEnabled(PanelVolumeSlider()->Handle()));
  EXPECT_EQ("\xE2\x80\x93", PanelVolumeText()) << "an en dash, no number";
  EXPECT_TRUE(Log.Calls.empty());
  // Once the device tells it, the slider comes back.
  Log.VolumeReadable = true;
  Log.Volume = 75;
  SendMessageA(PanelWindow, WM_TIMER, 0, 0);
  EXPECT_TRUE(IsWindowEnabled(PanelVolumeSlider()->Handle()));
  EXPECT_EQ("75%", PanelVolumeText());
}

TEST_F(PanelTest, PlayAndPauseShareTheirPlace) {
  ShowWindow(Parent, SW_SHOWNOACTIVATE);
  ShowWindow(PanelWindow, SW_SHOW);
  PlayState = psPlaying;
  RepaintPanel();
  EXPECT_TRUE(IsWindowVisible(PauseButton));
  EXPECT_FALSE(IsWindowVisible(PlayButton));
  PlayState = psPaused;
  RepaintPanel();
  EXPECT_TRUE(IsWindowVisible(PlayButton));
  EXPECT_FALSE(IsWindowVisible(PauseButton));
  PlayState = psStopped;
}
