// Where things go in the main window: the picture (centred, or shrunk to
// fit), the docked panel and the segments window, the window fitted to a
// film, the start placement from the command line, saved geometry and the
// minimum size. Pure arithmetic; the main window applies the results.
#pragma once

#include "UzxCmd.h"
#include "zxPicturePlacement.h"

#include <cstdint>

inline constexpr int32_t PanelHeight = 40;
inline constexpr int32_t SegmentsWindowWidth = 400;
inline constexpr int32_t PanelAutoShowDistance = 15;

// A rectangle as the platform gives it: left, top, right, bottom.
struct TzxRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
};

// The picture area: the client area above the panel band when the panel is
// docked, else all of it. Rectangles are the platform's: right and bottom
// lie just outside, so a width is right - left.
struct TzxArea {
  int32_t Width;
  int32_t Height;
};
TzxArea PictureArea(const TzxRect &clientRect, bool panelVisible);

// Centres a picture that fits; otherwise shrinks it with its aspect kept
// and centres the result. The picture is never enlarged.
TzxPicturePlacement PlacePicture(const TzxRect &clientRect, bool panelVisible, int32_t pictureWidth,
                                 int32_t pictureHeight);

// What opening a segment does to the window so that its picture fits.
enum class TzxFitAction { None, Maximise, Move };
struct TzxWindowFit {
  TzxFitAction Action = TzxFitAction::None;
  TzxBounds Bounds; // for Move
};
// Grows the window by the picture's missing client pixels about its centre,
// kept on screen; maximises when the grown window would not fit the screen.
TzxWindowFit FitWindowToPicture(const TzxRect &windowRect, const TzxRect &clientRect,
                                bool panelVisible, int32_t pictureWidth, int32_t pictureHeight,
                                int32_t screenWidth, int32_t screenHeight);

// How the window is first shown: full screen wins over maximised, which
// wins over the explicit rectangle.
enum class TzxStartMode { Normal, Maximised, FullScreen };
struct TzxStartPlacement {
  TzxStartMode Mode = TzxStartMode::Normal;
  TzxBounds Bounds; // for Normal
};
TzxStartPlacement StartPlacement(const TzxCmdOptions &options);

// The windowed geometry kept while in full screen.
struct TzxSavedGeometry {
  TzxBounds Bounds;
  bool PanelVisible = false;
};
// The window's rectangle as it stands, so that restoring it gives the
// same window.
TzxSavedGeometry SaveGeometry(const TzxRect &windowRect, bool panelVisible);
// The saved geometry made usable: left and top of 0 or less become 0, a
// width or height of 0 or less the minimum window size.
TzxSavedGeometry RestorableGeometry(TzxSavedGeometry saved);

// The proposed window rectangle while sizing, grown to the minimum size;
// the left and top edges stay.
TzxRect ApplyMinimumSize(TzxRect proposed);

// The child windows' places in the client area.
TzxBounds SegmentsWindowBounds(const TzxRect &clientRect, bool panelVisible);
TzxBounds PanelBounds(const TzxRect &clientRect);

// Whether an undocked panel shows for the pointer at client row y.
bool PanelAutoShows(const TzxRect &clientRect, uint16_t y);
