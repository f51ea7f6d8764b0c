// The log view's right-click menu: Copy, Select All and Find.
#pragma once

#include <windows.h>

// Shows the menu for `view` at `where` (screen coordinates as WM_CONTEXTMENU
// gives them; -1, -1 for the keyboard: at the caret) and returns the chosen
// command (IDM_COPY, IDM_SELECT_ALL or IDM_FIND), 0 for none.
int TrackLogViewMenu(HWND owner, HWND view, LPARAM where);
