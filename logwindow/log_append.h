// Hands UTF-8 text to the log window from any thread.
#pragma once

// Converts `utf8` (up to its first zero byte) and hands it to the log
// window's HandOverText, whole and unchanged.
void AppendUtf8ToLog(const char* utf8);
