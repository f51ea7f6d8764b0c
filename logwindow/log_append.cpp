// Hands text to the log window from any thread: all that the receiver needs of the window.
#include "logwindow/log_append.h"

#include "logwindow/windows_system_log.h"
#include "runtime/text_conversion.h"

#include <cstdlib>
#include <cwchar>

void HandTextToLog(const wchar_t* text, size_t units)
{
    CWindowsSystemLog* log = CWindowsSystemLog::Instance();
    if (log != nullptr) {
        log->HandOverText(text, units);
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
        log->HandOverText(text, wcslen(text));
        free(text);
    }
}
