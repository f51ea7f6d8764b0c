// The hand-off of text from any thread to the log window's thread, and the pace at which it is shown.
#include "logwindow/windows_system_log.h"

#include "runtime/scoped_lock.h"

#include <cstdlib>
#include <cwchar>

// After each step the window looks again for text that came meanwhile, but
// only once input and painting are done: a timer's message comes after them,
// so a flood never keeps the window from answering or from being painted.
static constexpr UINT_PTR kLookAgainTimer = 1;
static constexpr UINT kLookAgainMs = USER_TIMER_MINIMUM;

void CWindowsSystemLog::HandOverText(const wchar_t* text, size_t units)
{
    if (text == nullptr || units == 0 || handOffLock == nullptr) {
        return;
    }
    bool wake = false;
    {
        // Every sender adds under the lock, so texts keep the order in which
        // they were handed over, whichever thread they come from.
        CScopedLock guard(handOffLock);
        if (!visible) {
            return;  // closed: the program is ending
        }
        waitingText->Add(text, units);
        wake = !wakePending;
        wakePending = true;
    }
    if (!wake) {
        return;  // the window is already asked to look, or looks again soon
    }
    // Posted outside the lock: it never waits for the window thread. Without
    // a window to post to, the text waits for the next hand-off's wake.
    const HWND target = window.load();
    if (target == nullptr || !PostMessageW(target, WM_LOG_WAKE, 0, 0)) {
        CScopedLock guard(handOffLock);
        wakePending = false;
    }
}

// One step: everything that waits, shown in one go.
void CWindowsSystemLog::ShowWaitingText()
{
    bool idle = false;
    {
        CScopedLock guard(handOffLock);
        // Taken without a copy; senders go on adding to an empty one.
        waitingText->SwapWith(*shownText);
        // Nothing came since the last step: the next hand-off wakes us.
        idle = shownText->Units() == 0;
        wakePending = !idle;
    }
    if (idle) {
        KillTimer(window.load(), kLookAgainTimer);
        return;
    }
    ShowText(*shownText);
    shownText->Clear();
    // Whatever came during this step waits for the timer, behind input and painting.
    SetTimer(window.load(), kLookAgainTimer, kLookAgainMs, nullptr);
}

void CWindowsSystemLog::OnTimer(WPARAM id)
{
    if (id == kLookAgainTimer) {
        ShowWaitingText();
    }
}

// A sender of WM_LOG_APPEND waits until its text is shown, behind whatever
// was handed over before it.
void CWindowsSystemLog::AppendText(wchar_t* text)
{
    if (text != nullptr) {
        CScopedLock guard(handOffLock);
        waitingText->Add(text, wcslen(text));
        wakePending = true;
    }
    free(text);
    ShowWaitingText();
}
