// Owners of Win32 handles: one non-copyable class per kind of handle, each
// releasing its handle exactly once.
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <utility>

template <typename T, typename Traits> class TzxHandle {
public:
  TzxHandle() = default;
  explicit TzxHandle(T h) : FHandle(h) {}
  ~TzxHandle() { Close(); }
  TzxHandle(const TzxHandle &) = delete;
  TzxHandle &operator=(const TzxHandle &) = delete;
  TzxHandle(TzxHandle &&o) noexcept : FHandle(o.Detach()) {}
  TzxHandle &operator=(TzxHandle &&o) noexcept {
    if (this != &o) Attach(o.Detach());
    return *this;
  }

  T Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != Traits::Invalid(); }
  void Attach(T h) {
    Close();
    FHandle = h;
  }
  T Detach() { return std::exchange(FHandle, Traits::Invalid()); }
  void Close() {
    if (FHandle != Traits::Invalid()) Traits::Release(FHandle);
    FHandle = Traits::Invalid();
  }

private:
  T FHandle = Traits::Invalid();
};

struct TzxKernelTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Release(HANDLE h) { CloseHandle(h); }
};
struct TzxFileTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Release(HANDLE h) { CloseHandle(h); }
};
struct TzxGdiTraits {
  static HGDIOBJ Invalid() { return nullptr; }
  static void Release(HGDIOBJ h) { DeleteObject(h); }
};
struct TzxMemDCTraits {
  static HDC Invalid() { return nullptr; }
  static void Release(HDC h) { DeleteDC(h); }
};
struct TzxIconTraits {
  static HICON Invalid() { return nullptr; }
  static void Release(HICON h) { DestroyIcon(h); }
};
struct TzxModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static void Release(HMODULE h) { FreeLibrary(h); }
};

struct TzxAccelTraits {
  static HACCEL Invalid() { return nullptr; }
  static void Release(HACCEL h) { DestroyAcceleratorTable(h); }
};

// A wave-out device: its buffers are returned before it is closed.
struct TzxWaveOutTraits {
  static HWAVEOUT Invalid() { return nullptr; }
  static void Release(HWAVEOUT h) {
    waveOutReset(h);
    waveOutClose(h);
  }
};

using TzxAccelerators = TzxHandle<HACCEL, TzxAccelTraits>;  // from LoadAccelerators
using TzxKernelHandle = TzxHandle<HANDLE, TzxKernelTraits>; // processes, threads, events
using TzxFileHandle = TzxHandle<HANDLE, TzxFileTraits>;
using TzxGdiObject = TzxHandle<HGDIOBJ, TzxGdiTraits>; // bitmaps, pens, brushes, fonts
using TzxMemoryDC = TzxHandle<HDC, TzxMemDCTraits>;    // from CreateCompatibleDC
using TzxIconHandle = TzxHandle<HICON, TzxIconTraits>; // icons and cursors
using TzxModule = TzxHandle<HMODULE, TzxModuleTraits>;
using TzxWaveOutDevice = TzxHandle<HWAVEOUT, TzxWaveOutTraits>; // from waveOutOpen

// Selects an object into a DC and puts the old one back on destruction.
class TzxSelect {
public:
  TzxSelect(HDC dc, HGDIOBJ obj) : FDC(dc), FOld(SelectObject(dc, obj)) {}
  ~TzxSelect() {
    if (FOld != nullptr && FOld != HGDI_ERROR) SelectObject(FDC, FOld);
  }
  TzxSelect(const TzxSelect &) = delete;
  TzxSelect &operator=(const TzxSelect &) = delete;

private:
  HDC FDC;
  HGDIOBJ FOld;
};

// A DC obtained with GetDC, released with ReleaseDC.
class TzxWindowDC {
public:
  explicit TzxWindowDC(HWND wnd) : FWnd(wnd), FDC(GetDC(wnd)) {}
  ~TzxWindowDC() {
    if (FDC != nullptr) ReleaseDC(FWnd, FDC);
  }
  TzxWindowDC(const TzxWindowDC &) = delete;
  TzxWindowDC &operator=(const TzxWindowDC &) = delete;
  HDC Get() const { return FDC; }

private:
  HWND FWnd;
  HDC FDC;
};
