// The about box: a modal dialog ("ABOUTBOX") whose face the program paints,
// with the name, version, credit text, a link to the web site ("Link"
// class) and a Close button.
#pragma once

#include <windows.h>

// Shows the box, modal, owned by owner.
void ShowAboutBox(HWND owner);
// The same dialog, modeless (for inspection); the caller destroys it.
HWND CreateAboutBox(HWND owner);

INT_PTR CALLBACK AboutDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);

constexpr const char *AboutWebAddress = "https://redidiri.invalid/";
