// The control panel ("zxBottomPanel") docked under the picture: transport
// buttons, the band with the segment's format and the playing time, the
// segment progress bar, the speed and volume sliders and the volume
// percentage. It draws straight on a window device context whenever
// something changes and polls the volume every 200 ms.
//
// Threads: everything runs on the thread that made the panel. The playback
// clock's ticks call RequestTimeText, which posts UM_PANELTIME to the panel;
// the panel then refreshes its time text and bar on its own thread.
#pragma once

#include "zxSliderMath.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class TzxSlider;
class TzxProgressBar;

// Posted to the panel: the clock has moved on, refresh the time text.
constexpr UINT UM_PANELTIME = WM_USER + 120;

// What the panel asks of the shell.
struct TzxPanelShell {
  // The commands of the buttons (zxCommands.h): Load, Play ... Next, Full
  // screen.
  std::function<void(WORD id)> Command;
  std::function<void()> UpdateMenuState;
  std::function<void()> ShowPopupMenu;
  // The output volume in percent, none when the device does not tell;
  // without these the volume slider stays idle.
  std::function<std::optional<float>()> GetVolume;
  std::function<void(float)> SetVolume;
};
void SetPanelShell(TzxPanelShell shell);

extern HWND PanelWindow;
extern HWND PlayButton, PauseButton, StopButton, SegmentsButton, PrevButton, NextButton,
    FullScreenButton;

HWND CreateBottomPanel(HWND parent);
void UpdateSegmentInfo();
void UpdateTimeText();
// From any thread: has the panel run UpdateTimeText on its own thread.
void RequestTimeText();
void RepaintPanel();

// The speed slider sets the model's SpeedPosition (zxPlayerModel.h), and
// starts where that stands.
TzxSlider *PanelSpeedSlider();
TzxSlider *PanelVolumeSlider();
TzxProgressBar *PanelSegmentBar();
const std::string &PanelInfoText();
const std::string &PanelTimeText();
const std::string &PanelTitleText();
// The volume percentage as shown (UTF-8; an en dash when the volume cannot
// be read).
const std::string &PanelVolumeText();

// Where the panel's texts stand and how wide each text is in its font.
struct TzxPanelTextLayout {
  TzxPanelTextBoxes Boxes;
  int32_t InfoWidth = 0, TimeWidth = 0, PercentWidth = 0, TitleWidth = 0;
};
TzxPanelTextLayout PanelTextLayout();
