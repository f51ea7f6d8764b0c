// Saving the log view's whole text to a file as UTF-8.
#pragma once

#include <windows.h>

// Writes the text of `view` to `path` as UTF-8, without byte-order mark, the
// line breaks as the control reads them back (CR LF). An empty view writes
// nothing and leaves any file alone. A failure is shown in a message box
// owned by `owner`, with the path; false then.
bool SaveLogFile(HWND view, HWND owner, const wchar_t* path);
