#include "zxMessages.h"

#include <atomic>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdio>
#endif

namespace {

TzxMessageHook &Hook() {
  static TzxMessageHook hook;
  return hook;
}

void *OwnerWindow = nullptr;
std::atomic<int32_t> BoxesShown{0};

int PlatformBox(const TzxMessageBox &box) {
#if defined(_WIN32)
  HWND owner = box.Owner == TzxBoxOwner::MainWindow ? static_cast<HWND>(OwnerWindow) : nullptr;
  return MessageBoxA(owner, box.Text.c_str(), box.Caption.c_str(), box.Style);
#else
  std::fprintf(stderr, "%s: %s\n", box.Caption.c_str(), box.Text.c_str());
  return 1;
#endif
}

} // namespace

int ShowMessageBox(TzxBoxOwner owner, const std::string &text, const std::string &caption,
                   uint32_t style) {
  TzxMessageBox box{owner, text, caption, style};
  ++BoxesShown;
  if (Hook()) return Hook()(box);
  return PlatformBox(box);
}

int32_t MessageBoxesShown() {
  return BoxesShown;
}

TzxMessageHook SetMessageHook(TzxMessageHook hook) {
  return std::exchange(Hook(), std::move(hook));
}

void SetMessageOwnerWindow(void *window) {
  OwnerWindow = window;
}
