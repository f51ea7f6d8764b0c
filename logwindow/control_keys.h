// The main window's controls by keyboard, as in a dialog: Tab, the buttons' keys, the focus.
#pragma once

#include <windows.h>

// For the message loop, on `window` and its controls: Tab and Shift+Tab move
// the focus, Space and Enter press the focused button, as the system's
// dialog manager does; Enter elsewhere and Escape are the control's own
// keys, never a command to the window. True when the message was handled.
bool HandleControlKeys(HWND window, MSG* message);
// WM_NEXTDLGCTL: the focus to the next control (wParam 0) or the previous
// one, or, when the low word of lParam is set, to the control wParam names.
void MoveControlFocus(HWND window, WPARAM wParam, LPARAM lParam);
// The id of the control of `window` that has the focus; `kept` when none has.
int FocusedControlId(HWND window, int kept);
// The focus to the control of `window` with this id, when it can take it.
void FocusControl(HWND window, int id);
