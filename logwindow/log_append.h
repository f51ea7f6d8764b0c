// Hands text to the log window from any thread: all that the receiver needs of the window.
#pragma once

#include <cstddef>

// Queues `units` of `text` for the log window's view and returns at once,
// never waiting for the window; texts are shown whole, unchanged and in the
// order handed over. Dropped once the window is closed.
void HandTextToLog(const wchar_t* text, size_t units);

// Converts `utf8` (up to its first zero byte) and hands it over as above.
void AppendUtf8ToLog(const char* utf8);
