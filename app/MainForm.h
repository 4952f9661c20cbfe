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
void LayoutPicture();

// The menu bar (also while full screen detaches it) and the context menu.
HMENU MainMenuBar();
HMENU ContextMenu();

// The start-up sequence through the end of the message loop.
int RunPlayer(HINSTANCE instance);
