// The main window: creation, painting, layout and the play commands; and
// the program's start-up sequence with its message loop.
#pragma once

#include "zxLayout.h"

#include <windows.h>

extern bool PanelVisible;
extern bool SegmentsVisible;
extern bool NoEmbeddedFilm;
extern bool CloseOnFinish;
extern TzxRect ClientRect;

constexpr const char *MainClassName = "ZXAPP";
constexpr const char *MainTitle = "reDiridi v2.0 beta";

LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

void CmdPlay();
void CmdPause();
void CmdStop();
void CmdPrevSegment();
void CmdNextSegment();
void UpdateMenuState();
// Places the picture in the client area as it stands.
void LayoutPicture();
// A segment is being opened: grows the window (or maximises it) so that the
// picture fits, then places the picture. Only segment opening refits the
// window: a stop that leaves full screen or hides the panel keeps the
// window's rectangle.
void FitWindowToSegment();

// The menu bar (also while full screen detaches it) and the context menu.
HMENU MainMenuBar();
HMENU ContextMenu();

// The start-up sequence through the end of the message loop.
int RunPlayer(HINSTANCE instance);
