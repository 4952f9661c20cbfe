// What the surfaces and the clock share inside the Win32 engine.
#pragma once

#include "zxFrameDecoder.h"

#include <windows.h>

#include <mutex>
#include <string>

class TzxCursor;

extern std::mutex SurfaceLock;
extern TzxPictureLayout Layout;
extern bool LayoutUsable; // the segment's frames can be decoded into the surfaces
// Why the current segment has no picture (empty when it has one or when its
// depth has no run format, which has a box of its own).
extern std::string PictureProblem;
extern uint8_t *PXorFrame;
extern const TzxCursor *CurrentCursor;

// The picture of SurfaceDepth, none without one.
HBITMAP PictureBitmap();

// Cursor steps and decoding, with SurfaceLock held and the picture selected
// into dc.
void RestoreUnderCursor(HDC dc);
void SaveUnderCursor(HDC dc);
void DrawCursor(HDC dc);
void ReadCursorRecord();
void CommitCursorPosition();
void ResetCursorPositions();
void UnpackFrameInto(const TzxFrameRecord &record);
void ApplyXorFrameTo(HDC dc);
void PaintCursorRegion(HDC dc);
void PaintPictureFrom(HDC dc);
