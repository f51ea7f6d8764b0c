// Where the Find dialog goes so that it leaves the text it found in sight.
#pragma once

#include <windows.h>

// The dialog's frame after a find, in screen coordinates: unchanged while it
// covers no part of `found`; otherwise below the found text or, with no room
// there, above it, and inside `workArea`, the work area of the monitor that
// the dialog is on.
RECT PlaceFindDialog(const RECT& found, const RECT& dialog, const RECT& workArea);
