// The main window and the start-up sequence.
#include "MainForm.h"

#include "UzxBottomPanel_win.h"
#include "UzxCmd.h"
#include "UzxCommon_win.h"
#include "zxHandles_win.h"
#include "zxLoader.h"
#include "zxMessages.h"
#include "zxPlayer_win.h"
#include "zxTexts.h"
#include "zxWaveOut_win.h"

#include <memory>

bool PanelVisible = true;
bool SegmentsVisible = false;
bool NoEmbeddedFilm = true;
bool CloseOnFinish = false;
TzxRect ClientRect;

namespace {

std::unique_ptr<TSegmentList> Film;
bool Destroying = false; // the main window is being destroyed

enum : WORD {
  CmdIdExit = 100,
  CmdIdPlay = 110,
  CmdIdPause = 111,
  CmdIdStop = 112,
  CmdIdPrev = 114,
  CmdIdNext = 115,
  CmdIdPanel = 120,
};

std::string ExecutablePath() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string FileNameOf(const std::string &path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void RefreshClientRect() {
  RECT r{};
  if (MainWindow != nullptr) GetClientRect(MainWindow, &r);
  ClientRect = {r.left, r.top, r.right, r.bottom};
}

void EnableAt(HMENU menu, UINT pos, bool on) {
  if (menu != nullptr) EnableMenuItem(menu, pos, MF_BYPOSITION | (on ? MF_ENABLED : MF_GRAYED));
}

void CheckAt(HMENU menu, UINT pos, bool on) {
  if (menu != nullptr) CheckMenuItem(menu, pos, MF_BYPOSITION | (on ? MF_CHECKED : MF_UNCHECKED));
}

// Docks the panel along the bottom of the client area, or hides it.
void LayoutPanel() {
  if (PanelWindow == nullptr) return;
  if (PanelVisible) {
    const TzxBounds b = PanelBounds(ClientRect);
    MoveWindow(PanelWindow, b.Left, b.Top, b.Width, b.Height, TRUE);
    ShowWindow(PanelWindow, SW_SHOW);
  } else {
    ShowWindow(PanelWindow, SW_HIDE);
  }
}

void TogglePanel() {
  PanelVisible = !PanelVisible;
  LayoutPanel();
  LayoutPicture();
  if (MainWindow != nullptr) InvalidateRect(MainWindow, nullptr, TRUE);
}

void OnMainCreate(HWND wnd) {
  MainWindow = wnd;
  SetMessageOwnerWindow(wnd);
  SetPlayerShell({[] {
                    LayoutPicture();
                    UpdateSegmentInfo();
                  },
                  [] {
                    UpdateMenuState();
                    RepaintPanel();
                  },
                  CmdStop, RequestTimeText});
  SetPanelShell({[](WORD id) { SendMessageA(MainWindow, WM_COMMAND, id, 0); }, UpdateMenuState,
                 nullptr, nullptr, nullptr});
  CreateBottomPanel(wnd);
  const std::string exe = ExecutablePath();
  SetWindowTextA(wnd, (std::string(MainTitle) + " - [" + FileNameOf(exe) + "]").c_str());

  const TzxCmdOptions options = ParseCommandLine(GetCommandLineA(), GetSystemMetrics(SM_CXSCREEN),
                                                 GetSystemMetrics(SM_CYSCREEN));
  ShowCommandLineBoxes(options, FileNameOf(exe));
  CloseOnFinish = CloseOnFinish || options.CloseOnFinish;
  const TzxStartPlacement start = StartPlacement(options);
  if (start.Mode == TzxStartMode::Normal) {
    SetWindowPos(wnd, HWND_TOP, start.Bounds.Left, start.Bounds.Top, start.Bounds.Width,
                 start.Bounds.Height, SWP_SHOWWINDOW);
  } else {
    ShowWindow(wnd, SW_SHOW);
    SendMessageA(wnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  }
  RefreshClientRect();
  LayoutPanel();
  UpdateMenuState();

  std::unique_ptr<TzxFileStream> stream;
  try {
    stream = std::make_unique<TzxFileStream>(exe, fmOpenRead | fmShareDenyWrite);
  } catch (const EzxError &) {
    ShowMessageBox(TzxBoxOwner::None, FormatText(TextCannotOpenFile, exe), TextError, zxMB_OK);
    return;
  }
  Film = std::make_unique<TSegmentList>();
  SegmentList = Film.get();
  SetSegmentSelector([](int32_t n) { SelectSegment(n); });
  try {
    NoEmbeddedFilm = !LoadEmbeddedFilm(stream.get(), *Film);
  } catch (const EzxError &e) {
    NoEmbeddedFilm = Film->Count() == 0;
    ShowMessageBox(TzxBoxOwner::None, e.Message(), TextError, zxMB_OK);
  }
  stream.reset();
  InvalidateRect(wnd, nullptr, TRUE);
  OpenSegment(options.CmdSegment - 1);
  UpdateMenuState();
}

void OnMainDestroy() {
  Destroying = true;
  CmdStop();
  {
    TzxPicturePlacement none;
    SetPlacement(none);
  }
  DeleteSurfaces();
  MainWindow = nullptr;
  SetMessageOwnerWindow(nullptr);
  PostQuitMessage(0);
}

// Fills the client area around the picture with the class background.
LRESULT EraseMargins(HDC dc) {
  if (dc == nullptr) return 1;
  const TzxPicturePlacement &p = Placement;
  const int32_t left = p.PictureOffsetX, top = p.PictureOffsetY;
  const int32_t right = left + (p.PictureScaled ? p.ScaledWidth : PictureWidth);
  const int32_t bottom = top + (p.PictureScaled ? p.ScaledHeight : PictureHeight);
  const HBRUSH brush = GetSysColorBrush(COLOR_WINDOW);
  const RECT parts[4] = {{0, 0, ClientRect.Right, top},
                         {0, bottom, ClientRect.Right, ClientRect.Bottom},
                         {0, top, left, bottom},
                         {right, top, ClientRect.Right, bottom}};
  for (const RECT &r : parts)
    if (r.right > r.left && r.bottom > r.top) FillRect(dc, &r, brush);
  return 1;
}

void OnCommand(WORD id) {
  switch (id) {
  case CmdIdExit: DestroyWindow(MainWindow); break;
  case CmdIdPlay: CmdPlay(); break;
  case CmdIdPause: CmdPause(); break;
  case CmdIdStop: CmdStop(); break;
  case CmdIdPrev: CmdPrevSegment(); break;
  case CmdIdNext: CmdNextSegment(); break;
  case CmdIdPanel: TogglePanel(); break;
  default: break;
  }
  if (MainWindow != nullptr) UpdateMenuState();
}

LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE: OnMainCreate(wnd); return 0;
  case WM_DESTROY: OnMainDestroy(); return 0;
  case WM_CLOSE: DestroyWindow(wnd); return 0;
  case WM_SIZE:
    RefreshClientRect();
    LayoutPanel();
    if (PlayState != psStopped) LayoutPicture();
    return 0;
  case WM_SIZING: {
    RECT *r = reinterpret_cast<RECT *>(lp);
    const TzxRect fitted = ApplyMinimumSize({r->left, r->top, r->right, r->bottom});
    *r = {fitted.Left, fitted.Top, fitted.Right, fitted.Bottom};
    return 1;
  }
  case WM_PAINT:
    if (PlayState == psPlaying) {
      PAINTSTRUCT ps;
      BeginPaint(wnd, &ps);
      EndPaint(wnd, &ps);
      if (!ClockPaints) PaintPicture();
      return 0;
    }
    if (PlayState == psPaused) {
      const LRESULT r = DefWindowProcA(wnd, msg, wp, lp);
      PaintPicture();
      return r;
    }
    break;
  case WM_ERASEBKGND:
    if (PlayState == psPlaying) return EraseMargins(reinterpret_cast<HDC>(wp));
    break;
  case WM_COMMAND: OnCommand(LOWORD(wp)); return 0;
  case UM_BLOCKEMPTY: DoBlockEmpty(reinterpret_cast<TBlock *>(lp)); return 0;
  case MM_WOM_DONE: OnWaveDone(reinterpret_cast<WAVEHDR *>(lp)); return 0;
  case UM_CLOCKERROR: {
    const std::string text = TakeClockError();
    CmdStop();
    if (!text.empty()) ShowMessageBox(TzxBoxOwner::None, text, TextError, zxMB_OK);
    return 0;
  }
  default: break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

} // namespace

LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    return HandleMessage(wnd, msg, wp, lp);
  } catch (...) {
    ShowMessageBox(TzxBoxOwner::None, "Error in WndProc", "Error", zxMB_OK);
    return 0;
  }
}

void UpdateMenuState() {
  if (FullScreenButton != nullptr) SetButtonCheck(FullScreenButton, FullScreen);
  if (SegmentsButton != nullptr) SetButtonCheck(SegmentsButton, SegmentsVisible);
  const HMENU bar = MainWindow != nullptr ? GetMenu(MainWindow) : nullptr;
  if (bar == nullptr) return;
  const HMENU file = GetSubMenu(bar, 0), actions = GetSubMenu(bar, 1), view = GetSubMenu(bar, 2);
  EnableAt(file, 0, PlayState == psStopped && NoEmbeddedFilm);
  for (UINT pos : {0u, 1u, 2u})
    CheckAt(actions, pos, false);
  CheckAt(actions, PlayState == psPlaying ? 0 : PlayState == psPaused ? 1 : 2, true);
  CheckAt(view, 0, PanelVisible);
  CheckAt(view, 1, FullScreen);
  if (SegmentList != nullptr) {
    const bool any = SegmentList->Count() > 0;
    EnableAt(file, 1, any);
    for (UINT pos : {0u, 1u, 2u, 5u, 6u})
      EnableAt(actions, pos, any);
  }
  DrawMenuBar(MainWindow);
}

void LayoutPicture() {
  if (MainWindow == nullptr) return;
  if (PlayState == psStopped) {
    RECT w{};
    GetWindowRect(MainWindow, &w);
    const TzxWindowFit fit =
        FitWindowToPicture({w.left, w.top, w.right, w.bottom}, ClientRect, PanelVisible,
                           PictureWidth, PictureHeight, ScreenWidth, ScreenHeight);
    if (fit.Action == TzxFitAction::Maximise)
      SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (fit.Action == TzxFitAction::Move)
      MoveWindow(MainWindow, fit.Bounds.Left, fit.Bounds.Top, fit.Bounds.Width, fit.Bounds.Height,
                 TRUE);
    RefreshClientRect();
  }
  SetPlacement(PlacePicture(ClientRect, PanelVisible, PictureWidth, PictureHeight));
}

void CmdPlay() {
  if (SegmentList == nullptr || PlayState == psPlaying || SegmentList->Count() == 0) return;
  if (PlayState == psPaused)
    RunClock(true);
  else if (!OpenSegment(CurrentSegment))
    return;
  SetPlayState(psPlaying);
}

void CmdPause() {
  if (SegmentList == nullptr || PlayState != psPlaying) return;
  SetPlayState(psPaused);
  RunClock(false);
}

void CmdStop() {
  if (SegmentList == nullptr) return;
  StopClockAndBlocks();
  if (CloseOnFinish && !Destroying) {
    DestroyWindow(MainWindow);
    return;
  }
  SelectSegment(0);
  SetPlayState(psStopped);
  if (MainWindow != nullptr) InvalidateRect(MainWindow, nullptr, TRUE);
  FrameIndex = -1;
  UpdateSegmentInfo();
  RepaintPanel();
}

void CmdPrevSegment() {
  OpenSegment(CurrentSegment - 1);
}

void CmdNextSegment() {
  OpenSegment(CurrentSegment + 1);
}

int RunPlayer(HINSTANCE instance) {
  AssignDefaultTexts();
  const std::vector<char> language = ReadLanguageBlock(ExecutablePath());
  ApplyLanguageTexts(language.data(), static_cast<int>(language.size()));

  if (FindWindowA(MainClassName, nullptr) != nullptr) {
    ShowMessageBox(TzxBoxOwner::None, TextAlreadyRunning, TextWarning, zxMB_OK);
    return 0;
  }
  CursorWidth = GetSystemMetrics(SM_CXCURSOR);
  CursorHeight = GetSystemMetrics(SM_CYCURSOR);

  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = MainWndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "PMAINICON");
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = MainClassName;
  wc.lpszClassName = MainClassName;
  RegisterClassA(&wc);

  CreateWindowExA(WS_EX_CONTROLPARENT, MainClassName, MainTitle,
                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 600, 400, nullptr,
                  nullptr, instance, nullptr);
  if (MainWindow != nullptr) UpdateWindow(MainWindow);

  TzxAccelerators accelerators(LoadAcceleratorsA(instance, "MENUP"));
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    const HWND main = MainWindow;
    if (main == nullptr || !IsDialogMessageA(main, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (MainWindow != nullptr) TranslateAcceleratorA(MainWindow, accelerators.Get(), &msg);
  }
  accelerators.Close();
  SegmentList = nullptr;
  Film.reset();
  return 0;
}
