#include "zxLayout.h"

#include "zxSliderMath.h"

#include <cstdlib>
#include <limits>

namespace {

int32_t Clamp32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

} // namespace

TzxArea PictureArea(const TzxRect &clientRect, bool panelVisible) {
  int64_t cw = int64_t{clientRect.Right} - clientRect.Left;
  int64_t ch = int64_t{clientRect.Bottom} - clientRect.Top;
  if (panelVisible) ch -= PanelHeight;
  return {Clamp32(cw), Clamp32(ch)};
}

TzxPicturePlacement PlacePicture(const TzxRect &clientRect, bool panelVisible, int32_t pictureWidth,
                                 int32_t pictureHeight) {
  TzxPicturePlacement p;
  TzxArea area = PictureArea(clientRect, panelVisible);
  // A client area smaller than the panel band (a minimised window) has no
  // room for the picture rather than a negative one.
  int64_t cw = area.Width < 0 ? 0 : area.Width;
  int64_t ch = area.Height < 0 ? 0 : area.Height;
  if (cw >= pictureWidth && ch >= pictureHeight) {
    p.PictureOffsetX = Clamp32((cw - pictureWidth) / 2);
    p.PictureOffsetY = Clamp32((ch - pictureHeight) / 2);
    return p;
  }
  p.PictureScaled = true;
  if (pictureWidth <= 0 || pictureHeight <= 0) {
    // A picture without pixels in one direction has nothing to scale and
    // shows nothing; the ratios would divide by zero.
    p.PictureScale = 0;
    p.PictureOffsetX = Clamp32(cw / 2);
    p.PictureOffsetY = Clamp32(ch / 2);
    return p;
  }
  auto sx = static_cast<float>(static_cast<double>(cw) / pictureWidth);
  auto sy = static_cast<float>(static_cast<double>(ch) / pictureHeight);
  p.PictureScale = sx < sy ? sx : sy;
  p.ScaledWidth = RoundHalfEven(pictureWidth * static_cast<double>(p.PictureScale));
  p.ScaledHeight = RoundHalfEven(pictureHeight * static_cast<double>(p.PictureScale));
  p.PictureOffsetX = Clamp32((cw - p.ScaledWidth) / 2);
  p.PictureOffsetY = Clamp32((ch - p.ScaledHeight) / 2);
  return p;
}

TzxWindowFit FitWindowToPicture(const TzxRect &windowRect, const TzxRect &clientRect,
                                bool panelVisible, int32_t pictureWidth, int32_t pictureHeight,
                                int32_t screenWidth, int32_t screenHeight) {
  TzxWindowFit fit;
  TzxArea area = PictureArea(clientRect, panelVisible);
  int64_t dx = int64_t{pictureWidth} - area.Width;
  int64_t dy = int64_t{pictureHeight} - area.Height;
  if (dx <= 0 && dy <= 0) return fit;
  int64_t left = windowRect.Left, top = windowRect.Top;
  int64_t right = windowRect.Right, bottom = windowRect.Bottom;
  int64_t ww = right - left;
  int64_t wh = bottom - top;
  if (dx > 0) ww += dx;
  if (dy > 0) wh += dy;
  if (ww > screenWidth || wh > screenHeight) {
    fit.Action = TzxFitAction::Maximise;
    return fit;
  }
  // Keep the window's centre, then keep it on screen.
  int64_t x = (left + right) / 2 - ww / 2;
  int64_t y = (top + bottom) / 2 - wh / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  if (x + ww > screenWidth) x = screenWidth - ww;
  if (y + wh > screenHeight) y = screenHeight - wh;
  fit.Action = TzxFitAction::Move;
  fit.Bounds = {Clamp32(x), Clamp32(y), Clamp32(ww), Clamp32(wh)};
  return fit;
}

TzxStartPlacement StartPlacement(const TzxCmdOptions &options) {
  TzxStartPlacement s;
  if (options.CmdFullScreen)
    s.Mode = TzxStartMode::FullScreen;
  else if (options.CmdShowMode == CmdShowMaximised)
    s.Mode = TzxStartMode::Maximised;
  else
    s.Mode = TzxStartMode::Normal;
  s.Bounds = {options.CmdLeft, options.CmdTop, options.CmdWidth, options.CmdHeight};
  return s;
}

TzxSavedGeometry SaveGeometry(const TzxRect &windowRect, bool panelVisible) {
  TzxSavedGeometry g;
  g.Bounds = {windowRect.Left, windowRect.Top, Clamp32(int64_t{windowRect.Right} - windowRect.Left),
              Clamp32(int64_t{windowRect.Bottom} - windowRect.Top)};
  g.PanelVisible = panelVisible;
  return g;
}

TzxSavedGeometry RestorableGeometry(TzxSavedGeometry saved) {
  TzxBounds &b = saved.Bounds;
  if (b.Left <= 0) b.Left = 0;
  if (b.Top <= 0) b.Top = 0;
  if (b.Width <= 0) b.Width = MinWindowWidth;
  if (b.Height <= 0) b.Height = MinWindowHeight;
  return saved;
}

TzxRect ApplyMinimumSize(TzxRect proposed) {
  if (int64_t{proposed.Right} - proposed.Left < MinWindowWidth)
    proposed.Right = Clamp32(int64_t{proposed.Left} + MinWindowWidth);
  if (int64_t{proposed.Bottom} - proposed.Top < MinWindowHeight)
    proposed.Bottom = Clamp32(int64_t{proposed.Top} + MinWindowHeight);
  return proposed;
}

TzxBounds SegmentsWindowBounds(const TzxRect &clientRect, bool panelVisible) {
  int32_t height = clientRect.Bottom;
  if (panelVisible) height = Clamp32(int64_t{height} - PanelHeight);
  return {0, 0, SegmentsWindowWidth, height};
}

TzxBounds PanelBounds(const TzxRect &clientRect) {
  return {0, Clamp32(int64_t{clientRect.Bottom} - PanelHeight), clientRect.Right, PanelHeight};
}

bool PanelAutoShows(const TzxRect &clientRect, uint16_t y) {
  return std::llabs(int64_t{clientRect.Bottom} - y) <= PanelAutoShowDistance;
}
