#include "zxPlayerState_win.h"
#include "zxSha256.h"

#include "MainForm.h"
#include "UzxBottomPanel_win.h"
#include "UzxSegmentList_win.h"
#include "zxMPlayer_win.h"
#include "zxPlayer_win.h"
#include "zxProgressBar_win.h"
#include "zxSlider_win.h"
#include "zxWaveOut_win.h"

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A JSON object or array written field by field.
class TzxJson {
public:
  TzxJson &Open(const char *key, char bracket) {
    Key(key);
    FText += bracket;
    FFirst = true;
    return *this;
  }
  TzxJson &Close(char bracket) {
    FText += bracket;
    FFirst = false;
    return *this;
  }
  // A text of the given code page (the ANSI one unless said), written as
  // plain ASCII with JSON escapes.
  TzxJson &Str(const char *key, const std::string &value, UINT codePage = CP_ACP) {
    Key(key);
    FText += '"';
    std::wstring wide(value.size(), L'\0');
    const int n = value.empty() ? 0
                                : MultiByteToWideChar(codePage, 0, value.data(),
                                                      static_cast<int>(value.size()), wide.data(),
                                                      static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(n > 0 ? n : 0));
    for (const wchar_t c : wide) {
      if (c == L'"' || c == L'\\') {
        FText += '\\';
        FText += static_cast<char>(c);
      } else if (c < 0x20 || c > 0x7E) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
        FText += escape;
      } else {
        FText += static_cast<char>(c);
      }
    }
    FText += '"';
    return *this;
  }
  TzxJson &Int(const char *key, long long value) {
    Key(key);
    FText += std::to_string(value);
    return *this;
  }
  TzxJson &Bool(const char *key, bool value) {
    Key(key);
    FText += value ? "true" : "false";
    return *this;
  }
  const std::string &Text() const { return FText; }

private:
  void Key(const char *key) {
    if (!FFirst) FText += ',';
    FFirst = false;
    if (key != nullptr) {
      FText += '"';
      FText += key;
      FText += "\":";
    }
  }
  std::string FText;
  bool FFirst = true;
};

std::string WindowText(HWND wnd) {
  char text[1024] = {};
  if (wnd != nullptr) GetWindowTextA(wnd, text, sizeof text);
  return text;
}

bool Shown(HWND wnd) {
  return wnd != nullptr && IsWindowVisible(wnd);
}

void MenuItems(TzxJson &j, HMENU menu) {
  const int count = menu != nullptr ? GetMenuItemCount(menu) : 0;
  for (int i = 0; i < count; ++i) {
    char text[256] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text - 1;
    GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    j.Open(nullptr, '{')
        .Str("text", text)
        .Bool("separator", (info.fType & MFT_SEPARATOR) != 0)
        .Bool("checked", (info.fState & MFS_CHECKED) != 0)
        .Bool("grayed", (info.fState & MFS_GRAYED) != 0)
        .Close('}');
  }
}

// A window's rectangle in screen coordinates, for tests that click on it.
void ScreenRect(TzxJson &j, HWND wnd) {
  RECT r{};
  if (wnd != nullptr) GetWindowRect(wnd, &r);
  j.Open("rect", '{')
      .Int("left", r.left)
      .Int("top", r.top)
      .Int("width", r.right - r.left)
      .Int("height", r.bottom - r.top)
      .Close('}');
}

void Slider(TzxJson &j, const char *name, const TzxSlider *slider) {
  j.Open(name, '{');
  ScreenRect(j, slider != nullptr ? slider->Handle() : nullptr);
  j.Int("position", slider != nullptr ? slider->Position() : -1)
      .Int("min", slider != nullptr ? slider->Min() : 0)
      .Int("max", slider != nullptr ? slider->Max() : 0)
      .Int("thumbPos", slider != nullptr ? slider->ThumbPos() : 0)
      .Close('}');
}

void Button(TzxJson &j, const char *name, HWND button) {
  j.Open(name, '{');
  ScreenRect(j, button);
  j.Bool("shown", Shown(button))
      .Bool("enabled", button != nullptr && IsWindowEnabled(button))
      .Bool("checked", button != nullptr && SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED)
      .Close('}');
}

void TextBox(TzxJson &j, const char *name, const TzxTextBox &box, int32_t textWidth) {
  j.Open(name, '{')
      .Int("left", box.Left)
      .Int("top", box.Top)
      .Int("right", box.Right)
      .Int("bottom", box.Bottom)
      .Int("textWidth", textWidth)
      .Close('}');
}

const char *FocusName() {
  const HWND focus = GetFocus();
  const struct {
    HWND Window;
    const char *Name;
  } known[] = {{PlayButton, "play"},
               {PauseButton, "pause"},
               {StopButton, "stop"},
               {SegmentsButton, "segments"},
               {PrevButton, "prev"},
               {NextButton, "next"},
               {FullScreenButton, "fullScreen"},
               {SegmentListBox, "segmentList"},
               {MainWindow, "main"},
               {PanelWindow, "panel"}};
  if (focus == nullptr) return "none";
  for (const auto &k : known)
    if (k.Window != nullptr && k.Window == focus) return k.Name;
  return "other";
}

} // namespace

std::string DescribePlayer() {
  TzxJson j;
  j.Open(nullptr, '{')
      .Int("playState", PlayState)
      .Int("currentSegment", CurrentSegment)
      .Int("frameIndex", FrameIndex)
      .Int("segmentCount", SegmentList != nullptr ? SegmentList->Count() : -1)
      .Bool("noEmbeddedFilm", NoEmbeddedFilm)
      .Bool("fullScreen", FullScreen)
      .Bool("panelVisible", PanelVisible)
      .Bool("segmentsVisible", SegmentsVisible)
      .Str("title", WindowText(MainWindow));

  RECT w{}, c{};
  POINT origin{};
  if (MainWindow != nullptr) {
    GetWindowRect(MainWindow, &w);
    GetClientRect(MainWindow, &c);
    ClientToScreen(MainWindow, &origin);
  }
  j.Open("window", '{')
      .Int("left", w.left)
      .Int("top", w.top)
      .Int("right", w.right)
      .Int("bottom", w.bottom)
      .Bool("maximised", MainWindow != nullptr && IsZoomed(MainWindow))
      .Bool("minimised", MainWindow != nullptr && IsIconic(MainWindow))
      .Close('}');
  j.Open("client", '{')
      .Int("left", origin.x)
      .Int("top", origin.y)
      .Int("width", c.right - c.left)
      .Int("height", c.bottom - c.top)
      .Close('}');
  j.Open("picture", '{')
      .Int("width", PictureWidth)
      .Int("height", PictureHeight)
      .Int("x", Placement.PictureOffsetX)
      .Int("y", Placement.PictureOffsetY)
      .Bool("scaled", Placement.PictureScaled)
      .Int("scaledWidth", Placement.ScaledWidth)
      .Int("scaledHeight", Placement.ScaledHeight);
  // What the surfaces hold, unscaled, while paused (a hash, not the pixels:
  // pictures can be large): blue, green, red, 0 bytes, rows top to bottom.
  if (PlayState == psPaused) {
    const std::vector<uint8_t> pixels = ReadPicturePixels();
    j.Str("pixelsSha256", pixels.empty() ? std::string() : Sha256Hex(pixels.data(), pixels.size()));
  }
  j.Close('}');

  RECT p{};
  POINT panelOrigin{};
  if (PanelWindow != nullptr) {
    GetClientRect(PanelWindow, &p);
    ClientToScreen(PanelWindow, &panelOrigin);
  }
  const TzxSlider *volume = PanelVolumeSlider();
  const TzxSlider *speed = PanelSpeedSlider();
  j.Open("panel", '{')
      .Bool("shown", Shown(PanelWindow))
      .Int("left", panelOrigin.x)
      .Int("top", panelOrigin.y)
      .Int("width", p.right - p.left)
      .Int("height", p.bottom - p.top)
      .Str("info", PanelInfoText())
      .Str("time", PanelTimeText())
      .Str("title", PanelTitleText())
      .Str("volumeText", PanelVolumeText(), CP_UTF8)
      .Bool("volumeEnabled",
            volume != nullptr && volume->Handle() != nullptr && IsWindowEnabled(volume->Handle()))
      .Int("volumePosition", volume != nullptr ? volume->Position() : -1)
      .Int("speedPosition", SpeedPosition);
  const TzxPanelTextLayout texts = PanelTextLayout();
  j.Open("textBoxes", '{');
  TextBox(j, "info", texts.Boxes.Info, texts.InfoWidth);
  TextBox(j, "time", texts.Boxes.Time, texts.TimeWidth);
  TextBox(j, "percent", texts.Boxes.Percent, texts.PercentWidth);
  TextBox(j, "title", texts.Boxes.Title, texts.TitleWidth);
  j.Close('}');
  Slider(j, "volumeSlider", volume);
  Slider(j, "speedSlider", speed);
  const TzxProgressBar *segmentBar = PanelSegmentBar();
  j.Open("segmentBar", '{');
  ScreenRect(j, segmentBar != nullptr ? segmentBar->Handle() : nullptr);
  j.Int("positionMs",
        segmentBar != nullptr ? static_cast<long long>(segmentBar->Position() * 1000) : 0)
      .Int("totalMs",
           segmentBar != nullptr ? static_cast<long long>(segmentBar->TotalLength() * 1000) : 0)
      .Close('}');
  j.Open("buttons", '{');
  Button(j, "play", PlayButton);
  Button(j, "pause", PauseButton);
  Button(j, "stop", StopButton);
  Button(j, "segments", SegmentsButton);
  Button(j, "prev", PrevButton);
  Button(j, "next", NextButton);
  Button(j, "fullScreen", FullScreenButton);
  j.Close('}').Close('}');

  j.Open("segments", '{').Bool("shown", Shown(SegmentsWindow)).Open("items", '[');
  const int items = SegmentListBox != nullptr
                        ? static_cast<int>(SendMessageA(SegmentListBox, LB_GETCOUNT, 0, 0))
                        : 0;
  for (int i = 0; i < items; ++i) {
    std::vector<char> text(static_cast<size_t>(SendMessageA(SegmentListBox, LB_GETTEXTLEN, i, 0)) +
                           1);
    SendMessageA(SegmentListBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    j.Str(nullptr, text.data());
  }
  j.Close(']')
      .Int("selected",
           SegmentListBox != nullptr ? SendMessageA(SegmentListBox, LB_GETCURSEL, 0, 0) : -1)
      .Close('}');

  const HMENU bar = MainMenuBar();
  j.Open("menuBar", '{')
      .Bool("attached", bar != nullptr && GetMenu(MainWindow) == bar)
      .Open("menus", '[');
  const int menus = bar != nullptr ? GetMenuItemCount(bar) : 0;
  for (int i = 0; i < menus; ++i) {
    char text[256] = {};
    GetMenuStringA(bar, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    j.Open(nullptr, '{').Str("text", text).Open("items", '[');
    MenuItems(j, GetSubMenu(bar, i));
    j.Close(']').Close('}');
  }
  j.Close(']').Close('}');
  j.Open("popupMenu", '[');
  MenuItems(j, ContextMenu());
  j.Close(']');

  j.Str("focus", FocusName());
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(GetCurrentThreadId(), &gui);
  j.Bool("menuMode", (gui.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0);
  j.Open("sound", '{')
      .Bool("name", !SoundName().empty())
      .Bool("mediaPlayer", UseMediaPlayer())
      .Bool("mediaPlayerOpen", MediaPlayer().Opened())
      .Bool("waveOutOpen", WaveOutOpened())
      .Bool("streaming", SoundStreaming())
      .Close('}');
  // What the process holds, for the endurance run.
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  j.Open("process", '{')
      .Int("workingSetBytes", static_cast<long long>(memory.WorkingSetSize))
      .Int("privateBytes", static_cast<long long>(memory.PagefileUsage))
      .Int("handles", handles)
      .Int("gdiObjects", GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
      .Int("userObjects", GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS))
      .Int("ticksSkipped", TicksSkipped())
      .Close('}');
  j.Close('}');
  return j.Text();
}

extern "C" __declspec(dllexport) int zxDescribePlayer(char *buffer, int size) {
  const std::string text = DescribePlayer();
  const int length = static_cast<int>(text.size());
  if (buffer != nullptr && size > length) std::memcpy(buffer, text.c_str(), text.size() + 1);
  return length;
}
