// Hands UTF-8 text to the log window from any thread.
#pragma once

// Converts `utf8` (up to its first zero byte) and appends it to the log view,
// whole and unchanged, while the window is shown. Blocks until the window
// thread has appended it. Text sent while the window is hidden is dropped.
void AppendUtf8ToLog(const char* utf8);
