// The name by which screen readers announce a control, given through the accessibility API.
#pragma once

#include <windows.h>

// Announces `control` as `name` in place of what the system derives for it;
// false where the system takes no such annotation.
bool SetAccessibleName(HWND control, const wchar_t* name);
// Takes the name off again, for the control's WM_NCDESTROY: the system keeps
// it apart from the window, until it is cleared.
void ClearAccessibleName(HWND control);
