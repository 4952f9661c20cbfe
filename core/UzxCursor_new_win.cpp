// Win32 images of a recorded cursor: a mask bitmap, a colour bitmap in the
// screen's format (converted once, at loading) and a cursor handle.
#include "UzxCursor_new.h"

#include "zxHandles_win.h"

#include <algorithm>
#include <cstring>

struct TzxCursorImages {
  TzxIconHandle Icon;
  TzxGdiObject MaskBitmap;
  TzxGdiObject ColourBitmap;
};

TzxCursor::TzxCursor() = default;

TzxCursor::~TzxCursor() = default;

bool TzxCursor::HasImages() const {
  return FImages != nullptr && FImages->Icon;
}

void TzxCursor::ReleaseImages() {
  FImages.reset();
}

int TzxCursor::BuildImages() {
  FImages = std::make_unique<TzxCursorImages>();
  if (!FValid) return zxCursorNoBitmap;
  TzxCursorImages &img = *FImages;

  img.MaskBitmap.Attach(
      CreateBitmap(FMask.Width, FMask.Height, 1, FMask.BitsPerPixel, FMaskBits.data()));
  if (!img.MaskBitmap) return zxCursorNoBitmap;

  ICONINFO info{};
  info.fIcon = FALSE;
  info.xHotspot = static_cast<DWORD>(FHotSpotX);
  info.yHotspot = static_cast<DWORD>(FHotSpotY);
  info.hbmMask = static_cast<HBITMAP>(img.MaskBitmap.Get());

  if (!Monochrome()) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = FColour.Width;
    bi.bmiHeader.biHeight = -FColour.Height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = FColour.BitsPerPixel;
    bi.bmiHeader.biCompression = BI_RGB;

    TzxMemoryDC src(CreateCompatibleDC(nullptr));
    TzxMemoryDC dst(CreateCompatibleDC(nullptr));
    void *pixels = nullptr;
    TzxGdiObject section(CreateDIBSection(src.Get(), &bi, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!src || !dst || !section || pixels == nullptr) return zxCursorNoBitmap;

    int depth;
    {
      TzxWindowDC screen(nullptr);
      depth = GetDeviceCaps(screen.Get(), BITSPIXEL);
    }
    img.ColourBitmap.Attach(CreateBitmap(FColour.Width, FColour.Height, 1, depth, nullptr));
    if (!img.ColourBitmap) return zxCursorNoBitmap;

    // Only as many bytes as the section holds; a longer record was consumed
    // whole by the reader, its surplus is not image data.
    size_t room = static_cast<size_t>(ColourRowBytes(FColour) * FColour.Height);
    std::memcpy(pixels, FColourBits.data(), std::min(room, FColourBits.size()));
    {
      TzxSelect a(src.Get(), section.Get());
      TzxSelect b(dst.Get(), img.ColourBitmap.Get());
      BitBlt(dst.Get(), 0, 0, FColour.Width, FColour.Height, src.Get(), 0, 0, SRCCOPY);
    }
    info.hbmColor = static_cast<HBITMAP>(img.ColourBitmap.Get());
  }

  img.Icon.Attach(CreateIconIndirect(&info));
  return img.Icon ? zxCursorBuilt : zxCursorNoBitmap;
}

void TzxCursor::Draw(void *dc, int x, int y) const {
  if (FImages == nullptr || !FImages->MaskBitmap) return;
  HDC target = static_cast<HDC>(dc);
  int left = x - FHotSpotX, top = y - FHotSpotY;
  if (!Monochrome()) {
    TzxMemoryDC mem(CreateCompatibleDC(nullptr));
    if (!mem) return;
    {
      TzxSelect s(mem.Get(), FImages->MaskBitmap.Get());
      BitBlt(target, left, top, FMask.Width, FMask.Height, mem.Get(), 0, 0, SRCAND);
    }
    if (FImages->ColourBitmap) {
      TzxSelect s(mem.Get(), FImages->ColourBitmap.Get());
      BitBlt(target, left, top, FColour.Width, FColour.Height, mem.Get(), 0, 0, SRCINVERT);
    }
  } else if (FImages->Icon) {
    DrawIconEx(target, left, top, FImages->Icon.Get(), 0, 0, 0, nullptr, DI_NORMAL);
  }
}
