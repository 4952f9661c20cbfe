#include "UzxBottomPanel_win.h"

#include "UzxCommon_win.h"
#include "zxCommands.h"
#include "zxHandles_win.h"
#include "zxMessages.h"
#include "zxPlayer_win.h"
#include "zxProgressBar_win.h"
#include "zxSlider_win.h"
#include "zxSliderMath.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

HWND PanelWindow = nullptr;
HWND PlayButton = nullptr, PauseButton = nullptr, StopButton = nullptr, SegmentsButton = nullptr,
     PrevButton = nullptr, NextButton = nullptr, FullScreenButton = nullptr;

namespace {

constexpr COLORREF BandColour = RGB(144, 152, 168);
constexpr COLORREF White = RGB(255, 255, 255);
constexpr const char *PanelClassName = "zxBottomPanel";
constexpr UINT_PTR VolumeTimer = 0;

TzxPanelShell Shell;
RECT PanelRect{};
std::unique_ptr<TzxProgressBar> SegmentBar;
std::unique_ptr<TzxSlider> SpeedSlider;
std::unique_ptr<TzxSlider> VolumeSlider;
std::string InfoText, TimeText, TitleText, VolumeText;
TzxPanelTextBoxes TextBoxes = PanelTextBoxes(0, 0, 0, 0);
constexpr const char *NoVolumeText = "\xE2\x80\x93"; // an en dash, in UTF-8
float CurrentSeconds = 0;
TzxMergedRequest TimeRequest; // the time text, asked for by the ticks
// Set while the volume slider follows the system volume: the value it settles
// on is not written back, or merely showing the volume would change it.
bool FollowingVolume = false;

// The parts of the current segment's record the panel shows.
struct TzxSegmentCopy {
  int32_t Width = 0, Height = 0, BitsPerPixel = 0, FrameCount = 0;
  uint8_t FramesPerSecond = 0;
};
TzxSegmentCopy SegmentRecordCopy;

struct TzxPanelObjects {
  TzxGdiObject WhiteBrush, BandBrush, BandPen, BlackPen, Font;
};
std::unique_ptr<TzxPanelObjects> Objects;

RECT RectOf(const TzxTextBox &b) {
  return {b.Left, b.Top, b.Right, b.Bottom};
}

constexpr UINT TextFormat = DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;

// How wide a text is in the panel's font; UTF-8 texts are measured as such.
int32_t TextWidth(HDC dc, const std::string &text, bool utf8 = false) {
  SIZE size{};
  if (utf8) {
    const std::wstring wide = Utf8ToWide(text);
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  } else {
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  }
  return size.cx;
}

// Sizes the text boxes for the longest texts they show, in the panel's font.
void MeasureTextBoxes() {
  if (PanelWindow == nullptr || !Objects) return;
  TzxWindowDC dc(PanelWindow);
  TzxSelect font(dc.Get(), Objects->Font.Get());
  int32_t time = 0;
  for (const std::string &t : LongestTimeTexts())
    time = std::max(time, TextWidth(dc.Get(), t));
  TextBoxes = PanelTextBoxes(
      PanelRect.right, PanelRect.bottom, time + 2,
      std::max(TextWidth(dc.Get(), WidestPercentText), TextWidth(dc.Get(), NoVolumeText, true)) +
          2);
}

// Draws a text on white in the band colour, left- and top-aligned, within
// its box.
void PaintWhiteText(HDC dc, const TzxTextBox &box, const std::string &text, bool utf8 = false) {
  RECT r = RectOf(box);
  if (r.right <= r.left) return;
  FillRect(dc, &r, static_cast<HBRUSH>(Objects->WhiteBrush.Get()));
  TzxSelect font(dc, Objects->Font.Get());
  SetBkColor(dc, White);
  SetTextColor(dc, BandColour);
  if (utf8) {
    const std::wstring wide = Utf8ToWide(text);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, DT_LEFT | TextFormat);
  } else {
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | TextFormat);
  }
}

void PaintTitle() {
  if (PanelWindow == nullptr || !Objects) return;
  TzxWindowDC dc(PanelWindow);
  PaintWhiteText(dc.Get(), TextBoxes.Title, TitleText);
}

void PaintTopBand() {
  if (PanelWindow == nullptr || !Objects) return;
  TzxWindowDC window(PanelWindow);
  const HDC dc = window.Get();
  const LONG r = PanelRect.right;
  {
    TzxSelect brush(dc, Objects->BandBrush.Get());
    TzxSelect pen(dc, Objects->BandPen.Get());
    const POINT band[4] = {{194, 0}, {r, 0}, {r, 16}, {210, 16}};
    Polygon(dc, band, 4);
  }
  {
    TzxSelect pen(dc, Objects->BlackPen.Get());
    MoveToEx(dc, 194, 0, nullptr);
    LineTo(dc, 210, 16);
    LineTo(dc, r, 16);
  }
  TzxSelect font(dc, Objects->Font.Get());
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, BandColour);
  SetTextColor(dc, White);
  RECT info = RectOf(TextBoxes.Info);
  DrawTextA(dc, InfoText.c_str(), static_cast<int>(InfoText.size()), &info, DT_LEFT | TextFormat);
  RECT t = RectOf(TextBoxes.Time);
  DrawTextA(dc, TimeText.c_str(), static_cast<int>(TimeText.size()), &t, DT_RIGHT | TextFormat);
}

// Shows the output volume on the slider and as a percentage; a device that
// does not tell its volume leaves the slider disabled and shows a dash.
void RefreshVolume() {
  if (!VolumeSlider) return;
  if (!Shell.GetVolume) return; // no volume control in this build
  const std::optional<float> volume = Shell.GetVolume();
  if (VolumeSlider->Handle() != nullptr &&
      (IsWindowEnabled(VolumeSlider->Handle()) != FALSE) != volume.has_value()) {
    EnableWindow(VolumeSlider->Handle(), volume.has_value());
    InvalidateRect(VolumeSlider->Handle(), nullptr, TRUE);
  }
  if (volume) {
    const int32_t n = RoundHalfEven(*volume);
    FollowingVolume = true;
    try {
      VolumeSlider->SetPosition(n);
    } catch (...) {
      FollowingVolume = false;
      throw;
    }
    FollowingVolume = false;
    VolumeText = std::to_string(n) + "%";
  } else {
    VolumeText = NoVolumeText;
  }
  if (PanelWindow == nullptr || !Objects) return;
  TzxWindowDC dc(PanelWindow);
  PaintWhiteText(dc.Get(), TextBoxes.Percent, VolumeText, !volume.has_value());
}

void RefreshProgressBar() {
  if (!SegmentBar) return;
  SegmentBar->ClearLengths();
  if (SegmentList == nullptr || SegmentList->Count() == 0) return;
  for (int32_t i = 0; i < SegmentList->Count(); ++i) {
    const TSegmentInfo *s = SegmentList->Get(i);
    if (s->FramesPerSecond != 0)
      SegmentBar->AddLength(static_cast<float>(s->FrameCount) / s->FramesPerSecond);
  }
  SegmentBar->SetPosition(CurrentSeconds);
}

HWND MakeButton(HWND panel, int32_t left, WORD id, const char *bitmap, bool pushLike) {
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_BITMAP |
                      (pushLike ? BS_PUSHLIKE | BS_AUTOCHECKBOX : BS_PUSHBUTTON);
  const HWND button = CreateWindowExA(0, "BUTTON", "", style, left, 8, 24, 24, panel,
                                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                      GetModuleHandleA(nullptr), nullptr);
  if (button != nullptr) SetButtonBitmap(button, bitmap);
  return button;
}

// The slider is where the speed is chosen: the model's position follows it,
// and everything else reads the model.
void OnSpeedChange(TzxSlider &slider) {
  SpeedPosition = slider.Position();
  UpdateTimeText();
  if (SegmentList != nullptr && SegmentList->Count() > 0) {
    ComputeTimerPeriod();
    RunClock(PlayState == psPlaying);
  }
}

void OnVolumeChange(TzxSlider &slider) {
  if (FollowingVolume) return;
  if (Shell.SetVolume) Shell.SetVolume(static_cast<float>(slider.Position()));
  if (PanelWindow != nullptr) SendMessageA(PanelWindow, WM_TIMER, 0, 0);
}

void OnSegmentSelect(TzxProgressBar &, int32_t index, bool &allow) {
  allow = false;
  if (SegmentList != nullptr && index >= 0 && index < SegmentList->Count()) {
    OpenSegment(index);
    allow = true;
  }
}

std::unique_ptr<TzxSlider> MakeSlider(HWND panel, const char *bitmap, int32_t left, int32_t width,
                                      int32_t max) {
  auto slider = TzxControl::Create<TzxSlider>(panel);
  slider->SetBackgroundBrush(static_cast<HBRUSH>(Objects->WhiteBrush.Get()));
  slider->SetTrackPen(static_cast<HPEN>(Objects->BandPen.Get()));
  slider->SetThumbBitmap(LoadBitmapA(GetModuleHandleA(nullptr), bitmap));
  if (slider->Handle() != nullptr) MoveWindow(slider->Handle(), left, 18, width, 20, TRUE);
  slider->SetMax(max);
  return slider;
}

void BuildPanel(HWND panel) {
  PanelWindow = panel;
  CurrentSeconds = 0;
  TitleText.clear();
  Objects = std::make_unique<TzxPanelObjects>();
  Objects->WhiteBrush.Attach(CreateSolidBrush(White));
  Objects->BandBrush.Attach(CreateSolidBrush(BandColour));
  Objects->BandPen.Attach(CreatePen(PS_SOLID, 1, BandColour));
  Objects->BlackPen.Attach(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
  Objects->Font.Attach(CreateFontByName("Tahoma", 13, fsBold));
  InfoText = FormatInfoText(600, 400, 32, 12);

  PlayButton = MakeButton(panel, 8, CMD_PLAY, "PLAYBMP", false);
  PauseButton = MakeButton(panel, 8, CMD_PAUSE, "PAUSEBMP", false);
  StopButton = MakeButton(panel, 36, CMD_STOP, "STOPBMP", false);
  SegmentsButton = MakeButton(panel, 72, CMD_SEGMENTS, "SEGMENTSBMP", true);
  PrevButton = MakeButton(panel, 100, CMD_PREV, "PREVBMP", false);
  NextButton = MakeButton(panel, 128, CMD_NEXT, "NEXTBMP", false);
  FullScreenButton = MakeButton(panel, 164, CMD_FULL_SCREEN, "FULLSCREENBMP", true);

  SegmentBar = TzxControl::Create<TzxProgressBar>(panel);
  if (SegmentBar->Handle() != nullptr) MoveWindow(SegmentBar->Handle(), 210, 23, 200, 10, TRUE);
  SegmentBar->SetPosition(0);
  SegmentBar->OnSelect = OnSegmentSelect;

  SpeedSlider = MakeSlider(panel, "VELOCITYBMP", 420, 70, SpeedPositions - 1);
  SpeedSlider->SetPosition(SpeedPosition);
  SpeedSlider->OnChange = OnSpeedChange;
  VolumeSlider = MakeSlider(panel, "SOUNDVOLUMEBMP", 494, 50, 100);
  VolumeSlider->SetPosition(0);
  VolumeSlider->OnChange = OnVolumeChange;

  SetTimer(panel, VolumeTimer, 200, nullptr);
}

void ReleasePanel(HWND panel) {
  KillTimer(panel, VolumeTimer);
  // The sliders and the bar go before the brush and pen they draw with.
  VolumeSlider.reset();
  SpeedSlider.reset();
  SegmentBar.reset();
  Objects.reset();
  PlayButton = PauseButton = StopButton = SegmentsButton = PrevButton = NextButton =
      FullScreenButton = nullptr;
  PanelWindow = nullptr;
}

void OnPanelCommand(WORD id) {
  switch (id) {
  case CMD_LOAD:
  case CMD_PLAY:
  case CMD_PAUSE:
  case CMD_STOP:
  case CMD_SEGMENTS:
  case CMD_PREV:
  case CMD_NEXT:
  case CMD_FULL_SCREEN:
    if (Shell.Command) Shell.Command(id);
    break;
  default: break;
  }
  if (Shell.UpdateMenuState) Shell.UpdateMenuState();
  RepaintPanel();
}

void OnPanelTime() {
  TimeRequest.Served();
  UpdateTimeText();
}

LRESULT HandlePanelMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE: BuildPanel(wnd); return 0;
  case WM_DESTROY: ReleasePanel(wnd); return 0;
  case WM_SIZE:
    GetClientRect(wnd, &PanelRect);
    MeasureTextBoxes();
    return 0;
  case WM_PAINT: {
    const LRESULT r = DefWindowProcA(wnd, msg, wp, lp);
    RepaintPanel();
    return r;
  }
  case WM_ERASEBKGND: return 1;
  case WM_COMMAND: OnPanelCommand(LOWORD(wp)); return 0;
  case WM_TIMER: RefreshVolume(); return 0;
  case WM_RBUTTONUP:
    if (Shell.ShowPopupMenu) Shell.ShowPopupMenu();
    return 0;
  case UM_PANELTIME: OnPanelTime(); return 0;
  default: return DefWindowProcA(wnd, msg, wp, lp);
  }
}

LRESULT CALLBACK PanelWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return GuardWndProc([&] { return HandlePanelMessage(wnd, msg, wp, lp); });
}

} // namespace

void SetPanelShell(TzxPanelShell shell) {
  Shell = std::move(shell);
}

HWND CreateBottomPanel(HWND parent) {
  RegisterWindowClass({.Name = PanelClassName, .Procedure = PanelWindowProc});
  CreateWindowExA(WS_EX_CONTROLPARENT, PanelClassName, "",
                  WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, 0, 0, 600, 100, parent,
                  nullptr, GetModuleHandleA(nullptr), nullptr);
  return PanelWindow;
}

void RepaintPanel() {
  if (PanelWindow == nullptr || !Objects) return;
  {
    TzxWindowDC window(PanelWindow);
    TzxSelect brush(window.Get(), Objects->WhiteBrush.Get());
    TzxSelect pen(window.Get(), GetStockObject(BLACK_PEN));
    Rectangle(window.Get(), 0, 0, PanelRect.right, PanelRect.bottom);
  }
  PaintTopBand();
  RefreshVolume();
  RefreshProgressBar();
  PaintTitle();
  const HWND focus = GetFocus();
  if (PlayState == psStopped || PlayState == psPaused) {
    ShowWindow(PlayButton, SW_SHOW);
    if (focus == PauseButton) SetFocus(PlayButton);
    ShowWindow(PauseButton, SW_HIDE);
  } else if (PlayState == psPlaying) {
    ShowWindow(PauseButton, SW_SHOW);
    if (focus == PlayButton) SetFocus(PauseButton);
    ShowWindow(PlayButton, SW_HIDE);
  }
}

void UpdateTimeText() {
  std::vector<TzxSegmentTiming> timings;
  if (SegmentList != nullptr)
    for (int32_t i = 0; i < SegmentList->Count(); ++i) {
      const TSegmentInfo *s = SegmentList->Get(i);
      timings.push_back({s->FrameCount, s->FramesPerSecond});
    }
  const TzxPlayTimes times =
      ComputePlayTimes(timings, CurrentSegment, FrameIndex, SegmentRecordCopy.FramesPerSecond);
  CurrentSeconds = times.CurrentSeconds;
  TimeText = FormatTimeText(SpeedFactorAt(SpeedPosition), times);
  PaintTopBand();
  RefreshProgressBar();
}

void RequestTimeText() {
  const HWND panel = PanelWindow;
  if (panel == nullptr) return;
  TimeRequest.Request([panel] { return PostMessageA(panel, UM_PANELTIME, 0, 0) != FALSE; });
}

void UpdateSegmentInfo() {
  const TSegmentInfo *s = SegmentList != nullptr ? SegmentList->Get(CurrentSegment) : nullptr;
  if (s != nullptr) {
    SegmentRecordCopy = {s->Width, s->Height, s->BitsPerPixel, s->FrameCount, s->FramesPerSecond};
    TitleText = s->TitleText();
    InfoText = FormatInfoText(s->Width, s->Height, s->BitsPerPixel, s->FramesPerSecond);
  } else {
    InfoText.clear();
    TimeText.clear();
  }
  PaintTitle();
  PaintTopBand();
  UpdateTimeText();
}

TzxSlider *PanelSpeedSlider() {
  return SpeedSlider.get();
}
TzxSlider *PanelVolumeSlider() {
  return VolumeSlider.get();
}
TzxProgressBar *PanelSegmentBar() {
  return SegmentBar.get();
}
const std::string &PanelInfoText() {
  return InfoText;
}
const std::string &PanelTimeText() {
  return TimeText;
}
const std::string &PanelTitleText() {
  return TitleText;
}
const std::string &PanelVolumeText() {
  return VolumeText;
}

TzxPanelTextLayout PanelTextLayout() {
  TzxPanelTextLayout l;
  l.Boxes = TextBoxes;
  if (PanelWindow == nullptr || !Objects) return l;
  TzxWindowDC dc(PanelWindow);
  TzxSelect font(dc.Get(), Objects->Font.Get());
  l.InfoWidth = TextWidth(dc.Get(), InfoText);
  l.TimeWidth = TextWidth(dc.Get(), TimeText);
  l.PercentWidth = TextWidth(dc.Get(), VolumeText, VolumeText == NoVolumeText);
  l.TitleWidth = TextWidth(dc.Get(), TitleText);
  return l;
}
