// A horizontal slider ("zxSlider"): an integer value within a range, shown
// as a square thumb on a thin track. The left button drags the thumb; every
// change of the value, from either side, is reported through OnChange.
#pragma once

#include "zxControls_win.h"
#include "zxSliderMath.h"

#include <functional>

class TzxSlider : public TzxControl {
public:
  ~TzxSlider() override;

  std::function<void(TzxSlider &)> OnChange;

  int32_t Position() const { return Model.Position(); }
  int32_t ThumbPos() const { return Model.ThumbPos(); }
  int32_t Min() const { return Model.Min; }
  int32_t Max() const { return Model.Max; }
  bool Dragging() const { return Model.Dragging(); }

  void SetPosition(int32_t v) { Model.SetPosition(v); }
  void SetMax(int32_t v) { Model.SetMax(v); }
  void SetTrackPen(HPEN pen) { FTrackPen = pen; }
  // Takes the bitmap over, deleting the previous one.
  void SetThumbBitmap(HBITMAP bitmap);

protected:
  friend class TzxControl;
  TzxSlider();

  HCURSOR GetCursor() override;
  DWORD GetStyle() override;
  std::string GetWindowClassName() override { return "zxSlider"; }
  void Initialize() override;
  LRESULT WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) override;
  void Resized(WPARAM kind, LPARAM size) override;

private:
  void OnPaint();
  void OnLButtonDown(int32_t x);
  void OnMouseMove(int32_t x);
  void OnLButtonUp();

  TzxSliderModel Model;
  HPEN FTrackPen = nullptr; // not owned
  HBITMAP FThumbBitmap = nullptr;
};
