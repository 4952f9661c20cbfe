// The one way the player shows a message box. Low-level code raises errors
// and never calls this; the loader, the unpackers and the shell do. Tests
// and command-line tools install a hook to observe the boxes instead of
// blocking on them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Box styles, with the platform's values.
enum : uint32_t {
  zxMB_OK = 0x00,
  zxMB_ICONERROR = 0x10,
  zxMB_ICONWARNING = 0x30,
  zxMB_ICONINFORMATION = 0x40,
};

// Who owns a box: no window, or the player's main window.
enum class TzxBoxOwner { None, MainWindow };

struct TzxMessageBox {
  TzxBoxOwner Owner;
  std::string Text;
  std::string Caption;
  uint32_t Style;
};

using TzxMessageHook = std::function<int(const TzxMessageBox &)>;

// Shows a box (or hands it to the hook) and returns the button pressed.
int ShowMessageBox(TzxBoxOwner owner, const std::string &text, const std::string &caption,
                   uint32_t style);

// How many boxes have been shown (or handed to the hook) so far.
int32_t MessageBoxesShown();

// Replaces the hook; returns the previous one. An empty hook restores the
// platform's own box (on Win32) or a line on standard error (elsewhere).
TzxMessageHook SetMessageHook(TzxMessageHook hook);

// The window that owns boxes of TzxBoxOwner::MainWindow (a HWND on Win32).
void SetMessageOwnerWindow(void *window);
