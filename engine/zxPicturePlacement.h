// Where the engine draws: window rectangles as left, top, width, height, and
// the picture's place and scale in the main window's client area. Portable;
// the shell's layout arithmetic (zxLayout) computes them, the Win32 engine
// copies the picture and the cursor's region by them.
#pragma once

#include <cstdint>

// A window's place: left, top, width, height.
struct TzxBounds {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};

// Where the picture is drawn in client coordinates, and at what scale.
struct TzxPicturePlacement {
  int32_t PictureOffsetX = 0;
  int32_t PictureOffsetY = 0;
  bool PictureScaled = false;
  float PictureScale = 1;
  int32_t ScaledWidth = 0;
  int32_t ScaledHeight = 0;
};
