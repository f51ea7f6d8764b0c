// Hands UTF-8 text to the log window from any thread.
#include "logwindow/log_append.h"

#include "logwindow/windows_system_log.h"
#include "runtime/scoped_lock.h"
#include "runtime/text_conversion.h"

#include <cstdlib>

void AppendUtf8ToLog(const char* utf8)
{
    CWindowsSystemLog* log = CWindowsSystemLog::Instance();
    if (log == nullptr || log->lock == nullptr) {
        return;
    }
    // Every sender holds the lock across the send, so texts from the banner
    // and from the receiver are appended one whole text at a time.
    CScopedLock guard(log->lock);
    if (!log->visible) {
        return;
    }
    const HWND window = log->window;
    if (!IsWindow(window)) {
        return;  // no window to own the text: converting would only leak it
    }
    wchar_t* text = Utf8ToUtf16(utf8);
    // From here the text belongs to the window, which frees it.
    SendMessageW(window, WM_LOG_APPEND, reinterpret_cast<WPARAM>(text), 0);
}
