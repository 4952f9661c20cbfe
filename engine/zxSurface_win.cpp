// Drawing surfaces, the recorded cursor overlay and the copies into the
// main window.
#include "UzxCursor_new.h"
#include "zxHandles_win.h"
#include "zxMessages.h"
#include "zxPlayer_win.h"
#include "zxPlayerInternal_win.h"
#include "zxTexts.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

int32_t PictureWidth = 0, PictureHeight = 0;
int32_t SurfaceDepth = 0, DisplayDepth = 0;
int32_t ScreenWidth = 0, ScreenHeight = 0;
int32_t CursorWidth = 32, CursorHeight = 32;
int32_t OldCursorX = 0, OldCursorY = 0, NewCursorX = 0, NewCursorY = 0;
TzxPicturePlacement Placement;
TzxPalette Palette;
std::atomic<bool> ClockPaints{false};

std::mutex SurfaceLock;
TzxPictureLayout Layout;
bool LayoutUsable = false;
std::string PictureProblem;
uint8_t *PXorFrame = nullptr;
uint8_t *PPalettePicture = nullptr;
uint8_t *PCursorBits = nullptr; // 8-bit hbmCursor, top-down rows of CursorStride bytes
int32_t CursorStride = 0;
const TzxCursor *CurrentCursor = nullptr;

namespace {

TzxGdiObject XorFrameSurface;
TzxGdiObject PictureSurface;
TzxGdiObject PalettePicture;
TzxGdiObject CursorSurface; // hbmCursor

struct TzxBitmapInfo256 {
  BITMAPINFOHEADER Header;
  RGBQUAD Colours[256];
};

void FillHeader(TzxBitmapInfo256 &info, int32_t width, int32_t height, int32_t depth) {
  std::memset(&info, 0, sizeof info);
  info.Header.biSize = sizeof(BITMAPINFOHEADER);
  info.Header.biWidth = width;
  info.Header.biHeight = height;
  info.Header.biPlanes = 1;
  info.Header.biBitCount = static_cast<WORD>(depth);
  info.Header.biCompression = BI_RGB;
}

void SetColourTable(HDC dc) {
  RGBQUAD colours[256];
  for (size_t i = 0; i < 256; ++i)
    colours[i] = {Palette[i].Blue, Palette[i].Green, Palette[i].Red, 0};
  SetDIBColorTable(dc, 0, 256, colours);
}

} // namespace

HBITMAP PictureBitmap() {
  if (!LayoutUsable) return nullptr;
  const HGDIOBJ h = SurfaceDepth == 8 ? PalettePicture.Get() : PictureSurface.Get();
  return static_cast<HBITMAP>(h);
}

bool HasPicture() {
  return PictureBitmap() != nullptr;
}

TSegmentInfo *CurrentSegmentInfo() {
  const int32_t n = CurrentSegment;
  if (SegmentList == nullptr || n < 0 || n >= SegmentList->Count()) return nullptr;
  return SegmentList->Get(n);
}

void SetPlacement(const TzxPicturePlacement &placement) {
  std::lock_guard<std::mutex> lock(SurfaceLock);
  Placement = placement;
}

bool GetDisplaySettings() {
  Placement.PictureScaled = false;
  int32_t depth = 0;
  {
    TzxWindowDC screen(nullptr);
    ScreenWidth = GetDeviceCaps(screen.Get(), HORZRES);
    ScreenHeight = GetDeviceCaps(screen.Get(), VERTRES);
    depth = GetDeviceCaps(screen.Get(), BITSPIXEL);
  }
  TSegmentInfo *seg = CurrentSegmentInfo();
  if (seg == nullptr) return false;
  bool changed = false;
  if (seg->BitsPerPixel != SurfaceDepth) {
    SurfaceDepth = seg->BitsPerPixel;
    changed = true;
  }
  if (seg->Width != PictureWidth || seg->Height != PictureHeight) {
    PictureWidth = seg->Width;
    PictureHeight = seg->Height;
    changed = true;
  }
  // A segment without a run format, or too large to decode, plays without a
  // picture.
  LayoutUsable = false;
  PictureProblem.clear();
  if (!HasRunFormat(SurfaceDepth)) {
    ShowMessageBox(TzxBoxOwner::None, TextWrongDisplay, TextError, zxMB_OK);
    if (MainWindow != nullptr) ShowWindow(MainWindow, SW_MINIMIZE);
  } else {
    try {
      Layout = MakePictureLayout(PictureWidth, PictureHeight, SurfaceDepth);
      LayoutUsable = true;
    } catch (const EzxError &e) {
      Layout = TzxPictureLayout{};
      PictureProblem = e.Message();
      if (!PictureProblem.empty()) PictureProblem[0] = char(std::tolower(PictureProblem[0]));
    }
  }
  if (changed || SurfaceDepth != DisplayDepth || depth != DisplayDepth) {
    DisplayDepth = depth;
    DeleteSurfaces();
    if (LayoutUsable) CreateSurfaces(SurfaceDepth);
  }
  if (LayoutUsable && (PXorFrame == nullptr || PictureBitmap() == nullptr)) {
    LayoutUsable = false;
    PictureProblem = Format("the system gives no drawing surface for a picture of %d x %d pixels",
                            PictureWidth, PictureHeight);
  }
  return true;
}

void CreateSurfaces(int32_t depth) {
  TzxWindowDC screen(nullptr);
  TzxBitmapInfo256 info;
  FillHeader(info, PictureWidth, -(PictureHeight + 1), depth);
  if (depth == 8) {
    PALETTEENTRY system[256] = {};
    GetSystemPaletteEntries(screen.Get(), 0, 256, system);
    for (int i = 0; i < 256; ++i)
      info.Colours[i] = {system[i].peBlue, system[i].peGreen, system[i].peRed, 0};
  }
  void *bits = nullptr;
  XorFrameSurface.Attach(CreateDIBSection(screen.Get(), reinterpret_cast<BITMAPINFO *>(&info),
                                          DIB_RGB_COLORS, &bits, nullptr, 0));
  PXorFrame = XorFrameSurface ? static_cast<uint8_t *>(bits) : nullptr;
  if (depth >= 24) {
    PictureSurface.Attach(CreateCompatibleBitmap(screen.Get(), PictureWidth, PictureHeight));
    if (!PictureSurface) {
      // The display refuses some shapes (a row of 65,536 pixels); a
      // top-down 32-bit section holds the same colours.
      TzxBitmapInfo256 picture;
      FillHeader(picture, PictureWidth, -PictureHeight, 32);
      void *pixels = nullptr;
      PictureSurface.Attach(CreateDIBSection(screen.Get(), reinterpret_cast<BITMAPINFO *>(&picture),
                                             DIB_RGB_COLORS, &pixels, nullptr, 0));
    }
    CursorSurface.Attach(CreateCompatibleBitmap(screen.Get(), CursorWidth, CursorHeight));
  } else if (depth == 8) {
    bits = nullptr;
    PalettePicture.Attach(CreateDIBSection(screen.Get(), reinterpret_cast<BITMAPINFO *>(&info),
                                           DIB_RGB_COLORS, &bits, nullptr, 0));
    PPalettePicture = PalettePicture ? static_cast<uint8_t *>(bits) : nullptr;
    info.Header.biWidth = CursorWidth;
    info.Header.biHeight = -CursorHeight;
    void *cursorBits = nullptr;
    CursorSurface.Attach(CreateDIBSection(screen.Get(), reinterpret_cast<BITMAPINFO *>(&info),
                                          DIB_RGB_COLORS, &cursorBits, nullptr, 0));
    if (!CursorSurface) throw EzxError("GetDisplaySettings: hbmCursor = 0");
    PCursorBits = static_cast<uint8_t *>(cursorBits);
    CursorStride = (CursorWidth + 3) & ~3;
  }
}

void DeleteSurfaces() {
  PictureSurface.Close();
  XorFrameSurface.Close();
  PalettePicture.Close();
  CursorSurface.Close();
  PXorFrame = nullptr;
  PPalettePicture = nullptr;
  PCursorBits = nullptr;
}

void ClearSurfaces() {
  if (!LayoutUsable) return;
  if (PXorFrame != nullptr) std::memset(PXorFrame, 0, Layout.XorFrameBytes());
  if (PPalettePicture != nullptr) std::memset(PPalettePicture, 0, Layout.XorFrameBytes());
  if (PictureSurface) {
    TzxMemoryDC dc(CreateCompatibleDC(nullptr));
    TzxSelect sel(dc.Get(), PictureSurface.Get());
    PatBlt(dc.Get(), 0, 0, PictureWidth, PictureHeight, BLACKNESS);
  }
}

// --- Work inside a tick, with SurfaceLock held and the picture selected ---

namespace {

// 8-bit pictures save and restore the pixels under the cursor as palette
// indices: a copy through GDI maps indices to colours and back, which
// changes the index of every colour the palette holds twice, and the next
// frame's XOR then starts from the wrong index.
void CopyCursorCell(int32_t x, int32_t y, bool save) {
  if (PPalettePicture == nullptr || PCursorBits == nullptr) return;
  const int32_t x0 = std::max(x, 0), x1 = std::min(x + CursorWidth, PictureWidth);
  const int32_t y0 = std::max(y, 0), y1 = std::min(y + CursorHeight, PictureHeight);
  if (x0 >= x1 || y0 >= y1) return;
  for (int32_t row = y0; row < y1; ++row) {
    uint8_t *picture = PPalettePicture + size_t(row) * size_t(Layout.Stride) + size_t(x0);
    uint8_t *cell = PCursorBits + size_t(row - y) * size_t(CursorStride) + size_t(x0 - x);
    if (save)
      std::memcpy(cell, picture, size_t(x1 - x0));
    else
      std::memcpy(picture, cell, size_t(x1 - x0));
  }
}

} // namespace

void RestoreUnderCursor(HDC dc) {
  if (SurfaceDepth == 8) {
    GdiFlush();
    CopyCursorCell(OldCursorX, OldCursorY, false);
    return;
  }
  if (!CursorSurface) return;
  TzxMemoryDC src(CreateCompatibleDC(dc));
  TzxSelect sel(src.Get(), CursorSurface.Get());
  BitBlt(dc, OldCursorX, OldCursorY, CursorWidth, CursorHeight, src.Get(), 0, 0, SRCCOPY);
}

void SaveUnderCursor(HDC dc) {
  if (CurrentCursor == nullptr || !CursorSurface) return;
  if (SurfaceDepth == 8) {
    GdiFlush();
    CopyCursorCell(NewCursorX, NewCursorY, true);
    return;
  }
  TzxMemoryDC dst(CreateCompatibleDC(dc));
  TzxSelect sel(dst.Get(), CursorSurface.Get());
  BitBlt(dst.Get(), 0, 0, CursorWidth, CursorHeight, dc, NewCursorX, NewCursorY, SRCCOPY);
}

void DrawCursor(HDC dc) {
  if (CurrentCursor == nullptr) return;
  CurrentCursor->Draw(dc, NewCursorX + CurrentCursor->HotSpotX(),
                      NewCursorY + CurrentCursor->HotSpotY());
}

void ReadCursorRecord() {
  TSegmentInfo *seg = CurrentSegmentInfo();
  if (seg == nullptr || !seg->CursorTrack) return;
  uint8_t raw[6];
  if (seg->CursorTrack->Read(raw, 6) != 6) return; // the last record stays
  TzxByteReader rd(raw, 6);
  const uint16_t index = rd.GetLE16();
  const uint16_t x = rd.GetLE16();
  const uint16_t y = rd.GetLE16();
  CurrentCursor = seg->Cursors ? seg->Cursors->Get(index) : nullptr;
  if (CurrentCursor != nullptr) {
    NewCursorX = x - CurrentCursor->HotSpotX();
    NewCursorY = y - CurrentCursor->HotSpotY();
  }
}

void CommitCursorPosition() {
  OldCursorX = NewCursorX;
  OldCursorY = NewCursorY;
}

void ResetCursorPositions() {
  OldCursorX = NewCursorX = -CursorWidth;
  OldCursorY = NewCursorY = -CursorHeight;
  CurrentCursor = nullptr;
}

void UnpackFrameInto(const TzxFrameRecord &record) {
  if (!LayoutUsable || PXorFrame == nullptr) return;
  UnpackFrame(Layout, record, PXorFrame, Layout.XorFrameBytes());
}

void ApplyXorFrameTo(HDC dc) {
  if (!LayoutUsable || PXorFrame == nullptr) return;
  if (SurfaceDepth == 8) {
    GdiFlush();
    if (PPalettePicture != nullptr)
      ApplyXorFrame(Layout, PXorFrame, Layout.XorFrameBytes(), PPalettePicture,
                    Layout.PictureBytes());
    return;
  }
  TzxMemoryDC src(CreateCompatibleDC(dc));
  TzxSelect sel(src.Get(), XorFrameSurface.Get());
  BitBlt(dc, 0, 0, PictureWidth, PictureHeight, src.Get(), 0, 0, SRCINVERT);
}

TzxCursorRegion CursorRegion(int32_t oldX, int32_t oldY, int32_t newX, int32_t newY, int32_t w,
                             int32_t h) {
  TzxCursorRegion r;
  const int32_t dx = std::abs(newX - oldX), dy = std::abs(newY - oldY);
  if (dx < w && dy < h) {
    r.Count = 1;
    r.Rects[0] = {std::min(oldX, newX), std::min(oldY, newY), dx + w, dy + h};
  } else {
    r.Count = 2;
    r.Rects[0] = {oldX, oldY, w, h};
    r.Rects[1] = {newX, newY, w, h};
  }
  return r;
}

namespace {

int32_t RoundEven(double v) {
  return static_cast<int32_t>(std::nearbyint(v)); // the default rounding: halves to even
}

void CopyRect(HDC window, HDC picture, const TzxBounds &b) {
  const TzxPicturePlacement &p = Placement;
  if (!p.PictureScaled) {
    BitBlt(window, p.PictureOffsetX + b.Left, p.PictureOffsetY + b.Top, b.Width, b.Height, picture,
           b.Left, b.Top, SRCCOPY);
    return;
  }
  const double f = p.PictureScale;
  StretchBlt(window, RoundEven(b.Left * f + p.PictureOffsetX),
             RoundEven(b.Top * f + p.PictureOffsetY), RoundEven(b.Width * f),
             RoundEven(b.Height * f), picture, b.Left, b.Top, b.Width, b.Height, SRCCOPY);
}

} // namespace

void PaintCursorRegion(HDC dc) {
  if (MainWindow == nullptr) return;
  TzxWindowDC window(MainWindow);
  const TzxCursorRegion r =
      CursorRegion(OldCursorX, OldCursorY, NewCursorX, NewCursorY, CursorWidth, CursorHeight);
  for (int32_t i = 0; i < r.Count; ++i)
    CopyRect(window.Get(), dc, r.Rects[i]);
}

void PaintPictureFrom(HDC dc) {
  if (MainWindow == nullptr || CurrentSegmentInfo() == nullptr) return;
  TzxWindowDC window(MainWindow);
  if (SurfaceDepth == 8) SetColourTable(dc);
  const TzxPicturePlacement &p = Placement;
  if (p.PictureScaled)
    StretchBlt(window.Get(), p.PictureOffsetX, p.PictureOffsetY, p.ScaledWidth, p.ScaledHeight, dc,
               0, 0, PictureWidth, PictureHeight, SRCCOPY);
  else
    BitBlt(window.Get(), p.PictureOffsetX, p.PictureOffsetY, PictureWidth, PictureHeight, dc, 0, 0,
           SRCCOPY);
}

void PaintPicture() {
  std::lock_guard<std::mutex> lock(SurfaceLock);
  const HBITMAP picture = PictureBitmap();
  if (picture == nullptr) return;
  TzxMemoryDC dc(CreateCompatibleDC(nullptr));
  TzxSelect sel(dc.Get(), picture);
  PaintPictureFrom(dc.Get());
}

std::vector<uint8_t> ReadPicturePixels() {
  std::lock_guard<std::mutex> lock(SurfaceLock);
  std::vector<uint8_t> out;
  const HBITMAP picture = PictureBitmap();
  if (picture == nullptr) return out;
  out.assign(size_t(PictureWidth) * PictureHeight * 4, 0);
  if (SurfaceDepth == 8) {
    for (int32_t y = 0; y < PictureHeight; ++y)
      for (int32_t x = 0; x < PictureWidth; ++x) {
        const TzxPaletteEntry &e = Palette[PPalettePicture[size_t(y) * Layout.Stride + x]];
        uint8_t *o = out.data() + (size_t(y) * PictureWidth + x) * 4;
        o[0] = e.Blue;
        o[1] = e.Green;
        o[2] = e.Red;
      }
    return out;
  }
  TzxBitmapInfo256 info;
  FillHeader(info, PictureWidth, -PictureHeight, 32);
  TzxMemoryDC dc(CreateCompatibleDC(nullptr));
  if (GetDIBits(dc.Get(), picture, 0, static_cast<UINT>(PictureHeight), out.data(),
                reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS) != PictureHeight)
    out.clear();
  return out;
}
