// The segment progress bar ("zxProgressBar"): how far playback has come
// through the whole film, with a mark at each boundary between segments.
// A left click asks, through OnSelect, to jump to the segment under it.
// Used on the window's own thread only.
#pragma once

#include "zxControls_win.h"
#include "zxSliderMath.h"

#include <functional>

class TzxProgressBar : public TzxControl {
public:
  // Called before a selection takes effect; clearing allow refuses it.
  std::function<void(TzxProgressBar &, int32_t index, bool &allow)> OnSelect;

  int32_t AddLength(float seconds) { return Model.AddLength(seconds); }
  void ClearLengths() { Model.ClearLengths(); }
  const std::vector<float> &Lengths() const { return Model.Lengths(); }
  float TotalLength() const { return Model.TotalLength(); }
  float Position() const { return Model.Position(); }
  // Clamps into 0 ... TotalLength and invalidates the bar.
  void SetPosition(float seconds);
  void Select(int32_t index) { Model.Select(index); }

protected:
  friend class TzxControl;
  TzxProgressBar();

  HCURSOR GetCursor() override;
  DWORD GetStyle() override;
  std::string GetWindowClassName() override { return "zxProgressBar"; }
  void Initialize() override;
  LRESULT WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) override;
  void Resized(WPARAM kind, LPARAM size) override;

private:
  void OnPaint();
  void OnLButtonDown(int32_t x) { Model.Click(x); }

  TzxProgressBarModel Model;
};
