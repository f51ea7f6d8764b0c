// Hands text to the log window from any thread.
#pragma once

#include <cstddef>

// Converts `utf8` (up to its first zero byte) and queues it for the log
// view, whole and unchanged, while the window is shown. Text sent while the
// window is hidden is dropped.
void AppendUtf8ToLog(const char* utf8);

// Queues `text` (malloc'ed, `units` UTF-16 units and a terminating zero) for
// the log view and takes it over. Texts are shown in the order of the calls
// that queued them. While the queue is full this waits, for as long as the
// window is shown; a text that cannot be queued (window hidden or gone, no
// memory) is freed.
void QueueTextForLog(wchar_t* text, size_t units);
