// The main window and the start-up sequence.
#include "MainForm.h"

#include "UzxBottomPanel_win.h"
#include "UzxCmd.h"
#include "UzxCommon_win.h"
#include "UzxPAbout_win.h"
#include "UzxSegmentList_win.h"
#include "zxCommands.h"
#include "zxHandles_win.h"
#include "zxLoader.h"
#include "zxMessages.h"
#include "zxPlayer_win.h"
#include "zxTexts.h"
#include "zxMenus_win.h"
#include "zxVolume.h"
#include "zxWaveOut_win.h"

#include <commdlg.h>

#include <memory>
#include <mutex>
#include <set>
#include <vector>

bool PanelVisible = true;
bool SegmentsVisible = false;
bool NoEmbeddedFilm = true;
bool CloseOnFinish = false;
TzxRect ClientRect;

namespace {

std::unique_ptr<TSegmentList> Film;
bool Destroying = false; // the main window is being destroyed
HMENU MainMenu = nullptr;
HMENU PopupMenu = nullptr;
TzxGdiObject TitleFont;
TzxSavedGeometry SavedGeometry;
bool SavedFullScreen = false; // FullScreen when playback last started from stopped
std::string FilmName;         // the film's file, as the user knows it

// Segments whose sound could not be played and has been reported, this film;
// the reports waiting to be shown.
// What segments cannot play, said once a film for each segment and kind;
// reports may come from the tick's thread.
std::mutex ReportLock;
std::set<std::pair<int32_t, TzxSegmentProblem>> ProblemsReported;
std::vector<std::string> Reports;
constexpr UINT UM_SEGMENTREPORT = WM_USER + 111;

constexpr DWORD WindowedStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
constexpr DWORD FullScreenStyle = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;

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

// The segments window along the left edge, above the docked panel.
void LayoutSegmentsWindow() {
  if (SegmentsWindow == nullptr) return;
  const TzxBounds b = SegmentsWindowBounds(ClientRect, PanelVisible);
  MoveWindow(SegmentsWindow, b.Left, b.Top, b.Width, b.Height, TRUE);
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

// In full screen (panel not docked) the panel shows while the pointer is
// near the bottom edge.
void PanelAutoShow(LPARAM lp) {
  if (PanelVisible || PanelWindow == nullptr) return;
  const TzxBounds b = PanelBounds(ClientRect);
  MoveWindow(PanelWindow, b.Left, b.Top, b.Width, b.Height, TRUE);
  if (PanelAutoShows(ClientRect, HIWORD(lp))) {
    SetWindowPos(PanelWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RepaintPanel();
  } else {
    ShowWindow(PanelWindow, SW_HIDE);
  }
}

void LayoutChildren() {
  if (SegmentsWindow != nullptr) {
    if (SegmentsVisible) {
      LayoutSegmentsWindow();
      ShowWindow(SegmentsWindow, SW_SHOW);
    } else {
      ShowWindow(SegmentsWindow, SW_HIDE);
    }
  }
  LayoutPanel();
}

void ToggleSegmentsWindow() {
  SegmentsVisible = !SegmentsVisible;
  if (SegmentsVisible) FillSegmentsList();
  UpdateMenuState();
  LayoutChildren();
  if (SegmentsVisible) {
    if (SegmentListBox != nullptr) SetFocus(SegmentListBox);
  } else if (SegmentListBox != nullptr && GetFocus() == SegmentListBox &&
             SegmentsButton != nullptr) {
    SetFocus(SegmentsButton);
  }
}

void DrawLoadingText() {
  if (MainWindow == nullptr) return;
  TzxWindowDC dc(MainWindow);
  TzxSelect font(dc.Get(), TitleFont.Get());
  SetBkMode(dc.Get(), TRANSPARENT);
  TextOutA(dc.Get(), 16, 16, TextLoading.c_str(), static_cast<int>(TextLoading.size()));
}

void ShowPopupMenu() {
  POINT p{};
  GetCursorPos(&p);
  if (PopupMenu != nullptr && MainWindow != nullptr)
    TrackPopupMenu(PopupMenu, TPM_LEFTBUTTON, p.x, p.y, 0, MainWindow, nullptr);
}

// A new film: what its segments cannot play is reported afresh.
void StartFilmReports(const std::string &filmName) {
  FilmName = filmName;
  {
    std::lock_guard<std::mutex> lock(ReportLock);
    ProblemsReported.clear();
  }
  ResetSoundReports();
}

// Segment n cannot play all it holds: said once a film, after the segment
// has started playing (or has been passed over).
void ReportSegmentProblem(int32_t n, TzxSegmentProblem problem, const std::string &reason) {
  if (MainWindow == nullptr) return;
  const TSegmentInfo *seg = SegmentList != nullptr ? SegmentList->Get(n) : nullptr;
  const int32_t number = seg != nullptr ? seg->EntryIndex + 1 : n + 1;
  const char *what = "";
  switch (problem) {
  case TzxSegmentProblem::NoSound: what = "plays without sound: its sound "; break;
  case TzxSegmentProblem::NoPicture: what = "plays without picture: "; break;
  case TzxSegmentProblem::NothingToPlay: what = "has nothing to play: "; break;
  case TzxSegmentProblem::EndsEarly: what = "ends early: "; break;
  }
  {
    std::lock_guard<std::mutex> lock(ReportLock);
    if (!ProblemsReported.insert({n, problem}).second) return;
    Reports.push_back(
        Format("Segment %d of %s %s%s.", number, FilmName.c_str(), what, reason.c_str()));
  }
  PostMessageA(MainWindow, UM_SEGMENTREPORT, 0, 0);
}

void ShowSegmentReports() {
  for (;;) {
    std::string text;
    {
      std::lock_guard<std::mutex> lock(ReportLock);
      if (Reports.empty()) return;
      text = Reports.front();
      Reports.erase(Reports.begin());
    }
    ShowMessageBox(TzxBoxOwner::None, text, TextWarning, zxMB_ICONWARNING);
  }
}

// Loads a film file into a list of its own and puts it in place of the film
// loaded before only when it brings segments to play; otherwise the film
// before stays and a box says why the file was refused. True when the new
// film is in place.
bool LoadFilmFile(const std::string &path) {
  std::unique_ptr<TzxFileStream> stream;
  try {
    stream = std::make_unique<TzxFileStream>(path, fmOpenRead | fmShareDenyWrite);
  } catch (const EzxError &) {
    ShowMessageBox(TzxBoxOwner::MainWindow, FormatText(TextCannotOpenFile, path), TextError,
                   zxMB_ICONERROR);
    return false;
  }
  auto film = std::make_unique<TSegmentList>();
  DrawLoadingText();
  std::string problem;
  bool nothingToPlay = false;
  const int32_t boxesBefore = MessageBoxesShown();
  try {
    nothingToPlay = !LoadFilm(stream.get(), *film) || film->Count() == 0;
  } catch (const EzxError &e) {
    problem = e.Message();
  }
  stream.reset();
  // Unless the loader has said why already (versions, the coder).
  if (nothingToPlay && MessageBoxesShown() == boxesBefore)
    problem = "It holds no segment that this player can play.";
  const bool loaded = !nothingToPlay && problem.empty();
  if (loaded) {
    StartFilmReports(path);
    Film = std::move(film);
    SegmentList = Film.get();
    SelectSegment(0);
    FillSegmentsList();
    SetWindowTextA(MainWindow, (std::string(MainTitle) + " - [" + path + "]").c_str());
  } else if (!problem.empty()) {
    film.reset(); // its temporary files go first
    ShowMessageBox(TzxBoxOwner::MainWindow,
                   Format("Cannot load the film %s\r\r%s", path.c_str(), problem.c_str()),
                   TextError, zxMB_ICONERROR);
  }
  UpdateSegmentInfo();
  UpdateMenuState();
  InvalidateRect(MainWindow, nullptr, TRUE);
  return loaded;
}

void OpenFilmFile() {
  if (PlayState != psStopped || Film == nullptr) return;
  char buffer[MAX_PATH] = {};
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = MainWindow;
  ofn.lpstrFilter = "Tessaloop films (*.zxf)\0*.zxf\0";
  ofn.lpstrFile = buffer;
  ofn.nMaxFile = sizeof buffer;
  ofn.lpstrDefExt = "zxf";
  if (!GetOpenFileNameA(&ofn)) return;
  LoadFilmFile(buffer);
}

void ShowFilmProperties() {
  if (SegmentList == nullptr || SegmentList->Count() == 0) return;
  ShowMessageBox(TzxBoxOwner::MainWindow, FilmPropertiesText(ExecutablePath(), *SegmentList),
                 TextFilmProperties, zxMB_ICONINFORMATION);
}

void TogglePanel();

void ToggleFullScreen() {
  if (MainWindow == nullptr) return;
  FullScreen = !FullScreen;
  if (FullScreen) {
    RECT w{};
    GetWindowRect(MainWindow, &w);
    SavedGeometry = SaveGeometry({w.left, w.top, w.right, w.bottom}, PanelVisible);
    SetWindowLongA(MainWindow, GWL_STYLE, FullScreenStyle);
    SetMenu(MainWindow, nullptr);
    ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
    if (PanelVisible) TogglePanel();
  } else {
    SetWindowLongA(MainWindow, GWL_STYLE, WindowedStyle);
    SetMenu(MainWindow, MainMenu);
    ShowWindow(MainWindow, SW_RESTORE);
    const TzxSavedGeometry g = RestorableGeometry(SavedGeometry);
    MoveWindow(MainWindow, g.Bounds.Left, g.Bounds.Top, g.Bounds.Width, g.Bounds.Height, TRUE);
    if (PanelVisible != g.PanelVisible) TogglePanel();
  }
  SetWindowPos(MainWindow, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  UpdateMenuState();
  LayoutChildren();
}

// Stop undoes a full-screen switch made since playback started.
void RestoreFullScreenState() {
  if (FullScreen != SavedFullScreen) ToggleFullScreen();
}

void TogglePanel() {
  PanelVisible = !PanelVisible;
  UpdateMenuState();
  LayoutChildren();
  LayoutPicture();
  if (MainWindow != nullptr) InvalidateRect(MainWindow, nullptr, TRUE);
}

void OnMainCreate(HWND wnd) {
  MainWindow = wnd;
  SetMessageOwnerWindow(wnd);
  SetPlayerShell({[] {
                    FitWindowToSegment();
                    UpdateSegmentInfo();
                  },
                  [] {
                    UpdateMenuState();
                    RepaintPanel();
                  },
                  CmdStop, RequestTimeText, ToggleFullScreen, SelectListedSegment,
                  ReportSegmentProblem});
  SetSegmentListShell({ToggleSegmentsWindow, ShowPopupMenu, OpenSegment, UpdateSegmentInfo});
  CreateSegmentsWindow(wnd);
  SetPanelShell({[](WORD id) { SendMessageA(MainWindow, WM_COMMAND, id, 0); }, UpdateMenuState,
                 ShowPopupMenu, ReadVolumePercent, SetVolumePercent});
  CreateBottomPanel(wnd);
  MainMenu = GetMenu(wnd);
  PopupMenu = BuildPopupMenu();
  {
    const std::vector<char> language = ReadLanguageBlock(ExecutablePath());
    ApplyMenuLanguage(MainMenu, PopupMenu, language.data(), static_cast<int32_t>(language.size()));
  }
  TitleFont.Attach(CreateFontByName("Times New Roman", 18, fsBold));
  const std::string exe = ExecutablePath();
  SetWindowTextA(wnd, (std::string(MainTitle) + " - [" + FileNameOf(exe) + "]").c_str());

  const TzxCmdOptions options = ParseCommandLine(GetCommandLineA(), GetSystemMetrics(SM_CXSCREEN),
                                                 GetSystemMetrics(SM_CYSCREEN));
  ShowCommandLineBoxes(options, FileNameOf(exe));
  CloseOnFinish = CloseOnFinish || options.CloseOnFinish;
  const TzxStartPlacement start = StartPlacement(options);
  if (start.Mode == TzxStartMode::FullScreen) {
    PanelVisible = false;
    FullScreen = true;
    SetWindowLongA(wnd, GWL_STYLE, FullScreenStyle);
    SetMenu(wnd, nullptr);
    ShowWindow(wnd, SW_SHOWMAXIMIZED);
  } else if (start.Mode == TzxStartMode::Normal) {
    SetWindowPos(wnd, HWND_TOP, start.Bounds.Left, start.Bounds.Top, start.Bounds.Width,
                 start.Bounds.Height, SWP_SHOWWINDOW);
  } else {
    ShowWindow(wnd, SW_SHOW);
    SendMessageA(wnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  }
  RefreshClientRect();
  LayoutSegmentsWindow();
  UpdateMenuState();
  LayoutChildren();

  std::unique_ptr<TzxFileStream> stream;
  try {
    stream = std::make_unique<TzxFileStream>(exe, fmOpenRead | fmShareDenyWrite);
  } catch (const EzxError &) {
    ShowMessageBox(TzxBoxOwner::None, FormatText(TextCannotOpenFile, exe), TextError, zxMB_OK);
    return;
  }
  Film = std::make_unique<TSegmentList>();
  SegmentList = Film.get();
  StartFilmReports(FileNameOf(exe));
  SetSegmentSelector([](int32_t n) { SelectSegment(n); });
  DrawLoadingText();
  try {
    NoEmbeddedFilm = !LoadEmbeddedFilm(stream.get(), *Film);
  } catch (const EzxError &e) {
    NoEmbeddedFilm = Film->Count() == 0;
    ShowMessageBox(TzxBoxOwner::None,
                   Format("Cannot load the film carried by %s\r\r%s", FileNameOf(exe).c_str(),
                          e.Message().c_str()),
                   TextError, zxMB_OK);
  }
  stream.reset();
  // A film named on the command line plays as if chosen with Load.
  if (!options.FilmPath.empty()) {
    char full[MAX_PATH] = {};
    const DWORD n = GetFullPathNameA(options.FilmPath.c_str(), sizeof full, full, nullptr);
    LoadFilmFile(n > 0 && n < sizeof full ? std::string(full) : options.FilmPath);
  }
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
  if (MainMenu != nullptr && GetMenu(MainWindow) != MainMenu) DestroyMenu(MainMenu); // detached
  if (PopupMenu != nullptr) DestroyMenu(PopupMenu);
  MainMenu = PopupMenu = nullptr;
  TitleFont.Close();
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
  case CMD_EXIT: DestroyWindow(MainWindow); break;
  case CMD_PLAY: CmdPlay(); break;
  case CMD_PAUSE: CmdPause(); break;
  case CMD_STOP: CmdStop(); break;
  case CMD_PREV: CmdPrevSegment(); break;
  case CMD_NEXT: CmdNextSegment(); break;
  case CMD_SEGMENTS: ToggleSegmentsWindow(); break;
  case CMD_PANEL: TogglePanel(); break;
  case CMD_LOAD: OpenFilmFile(); break;
  case CMD_PROPERTIES: ShowFilmProperties(); break;
  case CMD_FULL_SCREEN: ToggleFullScreen(); break;
  case CMD_ABOUT: ShowAboutBox(MainWindow); break;
  case CMD_HELP:
    ShowMessageBox(TzxBoxOwner::None, TextHelpMessage, TextHelpCaption, zxMB_ICONINFORMATION);
    break;
  default: break;
  }
  if (MainWindow != nullptr) {
    UpdateMenuState();
    LayoutChildren();
  }
}

LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE: OnMainCreate(wnd); return 0;
  case WM_DESTROY: OnMainDestroy(); return 0;
  case WM_CLOSE: DestroyWindow(wnd); return 0;
  case WM_SIZE:
    RefreshClientRect();
    LayoutChildren();
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
  case WM_MOUSEMOVE: PanelAutoShow(lp); return 0;
  case WM_RBUTTONUP: ShowPopupMenu(); return 0;
  case UM_BLOCKEMPTY: DoBlockEmpty(reinterpret_cast<TBlock *>(lp)); return 0;
  case MM_WOM_DONE: OnWaveDone(reinterpret_cast<WAVEHDR *>(lp)); return 0;
  case UM_SEGMENTREPORT: ShowSegmentReports(); return 0;
  case UM_CLOCKERROR: {
    const std::string text = TakeClockError();
    // Where playing stopped, before Stop forgets it.
    const TSegmentInfo *seg = CurrentSegmentInfo();
    const std::string where = seg != nullptr
                                  ? Format("Segment %d of %s, frame %d: ", seg->EntryIndex + 1,
                                           FilmName.c_str(), static_cast<int>(FrameIndex) + 1)
                                  : std::string();
    CmdStop();
    if (!text.empty()) ShowMessageBox(TzxBoxOwner::None, where + text, TextError, zxMB_OK);
    return 0;
  }
  default: break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

// F10 without Alt is the Pause accelerator. Default processing would take
// its key-up as the menu key and leave the menu bar taking every key after
// it, so the key goes to the accelerators only. Alt alone still opens the
// menu bar.
bool IsMenuModeF10(const MSG &msg) {
  constexpr LPARAM AltDown = LPARAM{1} << 29;
  return (msg.message == WM_SYSKEYDOWN || msg.message == WM_SYSKEYUP) && msg.wParam == VK_F10 &&
         (msg.lParam & AltDown) == 0;
}

} // namespace

LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return GuardWndProc([&] { return HandleMessage(wnd, msg, wp, lp); });
}

HMENU MainMenuBar() {
  return MainMenu;
}

HMENU ContextMenu() {
  return PopupMenu;
}

void UpdateMenuState() {
  if (FullScreenButton != nullptr) SetButtonCheck(FullScreenButton, FullScreen);
  if (SegmentsButton != nullptr) SetButtonCheck(SegmentsButton, SegmentsVisible);
  TzxMenuState state;
  state.PlayState = PlayState;
  state.NoEmbeddedFilm = NoEmbeddedFilm;
  state.PanelVisible = PanelVisible;
  state.FullScreen = FullScreen;
  state.SegmentsVisible = SegmentsVisible;
  state.HasSegmentList = SegmentList != nullptr;
  state.SegmentCount = SegmentList != nullptr ? SegmentList->Count() : 0;
  UpdateMenuItems(MainMenu, PopupMenu, state);
  if (MainWindow != nullptr && GetMenu(MainWindow) != nullptr) DrawMenuBar(MainWindow);
}

void FitWindowToSegment() {
  if (MainWindow == nullptr) return;
  // A segment that plays without picture leaves the window as it is.
  if (!HasPicture()) {
    LayoutPicture();
    return;
  }
  RECT w{};
  GetWindowRect(MainWindow, &w);
  const TzxWindowFit fit =
      FitWindowToPicture({w.left, w.top, w.right, w.bottom}, ClientRect, PanelVisible, PictureWidth,
                         PictureHeight, ScreenWidth, ScreenHeight);
  if (fit.Action == TzxFitAction::Maximise)
    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  else if (fit.Action == TzxFitAction::Move)
    MoveWindow(MainWindow, fit.Bounds.Left, fit.Bounds.Top, fit.Bounds.Width, fit.Bounds.Height,
               TRUE);
  RefreshClientRect();
  LayoutPicture();
}

void LayoutPicture() {
  SetPlacement(PlacePicture(ClientRect, PanelVisible, PictureWidth, PictureHeight));
}

void CmdPlay() {
  if (SegmentList == nullptr || PlayState == psPlaying || SegmentList->Count() == 0) return;
  if (PlayState == psPaused)
    RunClock(true);
  else {
    SavedFullScreen = FullScreen;
    if (!FullScreen && MainWindow != nullptr) {
      RECT w{};
      GetWindowRect(MainWindow, &w);
      SavedGeometry = SaveGeometry({w.left, w.top, w.right, w.bottom}, PanelVisible);
    }
    if (!OpenSegment(CurrentSegment)) return;
  }
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
  if (!Destroying) RestoreFullScreenState();
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

  try {
    RegisterWindowClass({.Name = MainClassName,
                         .Procedure = MainWndProc,
                         .Icon = LoadIconA(instance, "PMAINICON"),
                         .MenuName = MainClassName});
  } catch (const EzxError &e) {
    ShowMessageBox(TzxBoxOwner::None, e.Message(), TextError, zxMB_OK);
    return 1;
  }

  CreateWindowExA(WS_EX_CONTROLPARENT, MainClassName, MainTitle,
                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 600, 400, nullptr,
                  nullptr, instance, nullptr);
  if (MainWindow != nullptr) UpdateWindow(MainWindow);

  TzxAccelerators accelerators(LoadAcceleratorsA(instance, "MENUP"));
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    const HWND main = MainWindow;
    if (!IsMenuModeF10(msg) && (main == nullptr || !IsDialogMessageA(main, &msg))) {
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
