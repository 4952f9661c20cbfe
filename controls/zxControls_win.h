// The base class of the player's owner-drawn controls. An instance owns one
// child window of a class of its own, registered on the fly under the name
// the subclass gives. The instance is attached to its window as a property
// named by the atom "zxCD" as soon as the window exists (WM_NCCREATE); one
// shared window procedure finds it there and hands every message to the
// instance's virtual WindowProc, catching whatever a handler raises.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

// Sent to a control: move the window back to the stored bounds.
constexpr UINT UM_APPLYBOUNDS = WM_USER + 1;

class TzxControl {
public:
  virtual ~TzxControl();
  TzxControl(const TzxControl &) = delete;
  TzxControl &operator=(const TzxControl &) = delete;

  // Makes an instance of T with its window, child of parent. The instance
  // is returned also when the window could not be made (it is then inert).
  template <typename T> static std::unique_ptr<T> Create(HWND parent) {
    std::unique_ptr<T> control(new T());
    control->Construct(parent);
    return control;
  }

  HWND Handle() const { return FHandle; }
  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  HBRUSH BackgroundBrush() const { return FBackgroundBrush; }

  void SetLeft(int32_t v);
  void SetTop(int32_t v);
  void SetWidth(int32_t v);
  void SetHeight(int32_t v);
  void ApplyBounds();
  // Paints the background with another brush. The control does not own
  // it: whoever made the brush deletes it (several controls may share one).
  void SetBackgroundBrush(HBRUSH brush) { FBackgroundBrush = brush; }

protected:
  TzxControl() = default;

  virtual HBRUSH GetBackgroundBrush();
  virtual HCURSOR GetCursor();
  virtual DWORD GetStyle();
  virtual DWORD GetExStyle();
  virtual std::string GetWindowClassName() = 0;
  virtual void Created(HWND wnd);
  virtual void Initialize();
  virtual LRESULT WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  virtual LRESULT BoundsChanging(WPARAM edge, RECT &r);
  virtual void Resized(WPARAM kind, LPARAM size);
  virtual void Moved(WPARAM unused, LPARAM pos);
  virtual LRESULT EraseBackground(HDC dc);

private:
  friend LRESULT CALLBACK ControlWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  void Construct(HWND parent);

  HWND FHandle = nullptr;
  int32_t FLeft = 0;
  int32_t FTop = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  std::string FWindowClassName;
  HWND FParentHandle = nullptr;
  HBRUSH FBackgroundBrush = nullptr;
  DWORD FStyle = 0;
  DWORD FExStyle = 0;
};

// The window procedure of every control window class.
LRESULT CALLBACK ControlWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

// The atom that names the property linking a control window to its instance.
ATOM ControlAtom();
