// Hands text to the log window from any thread.
#include "logwindow/log_append.h"

#include "logwindow/windows_system_log.h"
#include "runtime/scoped_lock.h"
#include "runtime/text_conversion.h"

#include <cstdlib>
#include <cwchar>

// How long a sender waits before it looks again at a full queue.
static constexpr DWORD kFullQueuePauseMs = 10;

void QueueTextForLog(wchar_t* text, size_t units)
{
    if (text == nullptr) {
        return;
    }
    CWindowsSystemLog* log = CWindowsSystemLog::Instance();
    if (log == nullptr || log->lock == nullptr || log->queuedTexts == nullptr) {
        free(text);
        return;
    }
    for (;;) {
        {
            // Every sender queues under the lock, so texts from the banner
            // and from the receiver keep the order in which they were sent.
            CScopedLock guard(log->lock);
            if (!log->visible || !IsWindow(log->window)) {
                free(text);  // no window to show it: dropped
                return;
            }
            if (log->queuedTexts->Push(text, units)) {
                return;
            }
            if (log->queuedTexts->QueuedBytes() == 0) {
                free(text);  // refused by an empty queue: no memory for it
                return;
            }
        }
        // Full: the window shows what waits, and the socket holds what
        // comes meanwhile. Not under the lock, so other senders and the
        // close of the window are never held up by this wait.
        Sleep(kFullQueuePauseMs);
    }
}

void AppendUtf8ToLog(const char* utf8)
{
    CWindowsSystemLog* log = CWindowsSystemLog::Instance();
    if (log == nullptr || !log->visible) {
        return;
    }
    wchar_t* text = Utf8ToUtf16(utf8);
    if (text != nullptr) {
        QueueTextForLog(text, wcslen(text));
    }
}
