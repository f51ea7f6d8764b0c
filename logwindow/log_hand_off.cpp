// The hand-off of text from any thread to the log window's thread, and the pace at which it is shown.
#include "logwindow/window_calls.h"
#include "logwindow/windows_system_log.h"

#include "runtime/scoped_lock.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>

// After each step the window looks again for text that came meanwhile, but
// only once input and painting are done (a timer's message comes after
// them) and no sooner than the step took: a flood never keeps the window
// from answering, and the window thread leaves at least half its time to
// the receiving thread, however dear the view's layout.
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
    // Posted outside the lock: it never waits for the window thread.
    if (!PostLogWake(window.load())) {
        // The window thread finds the text once it is idle (a sender that
        // came meanwhile did not post); the next hand-off posts again.
        CScopedLock guard(handOffLock);
        wakePending = false;
    }
}

static ULONGLONG ElapsedMs(const LARGE_INTEGER& since)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<ULONGLONG>((now.QuadPart - since.QuadPart) * 1000 / frequency.QuadPart);
}

// One step: everything that waits, shown in one go.
void CWindowsSystemLog::ShowWaitingText()
{
    bool idle = false;
    {
        CScopedLock guard(handOffLock);
        // Taken without a copy; senders go on adding to an empty one.
        waitingText->SwapWith(*takenText);
        // Nothing came since the last step: the next hand-off wakes us.
        idle = takenText->Units() == 0;
        wakePending = !idle;
    }
    if (idle) {
        KillTimer(window.load(), kLookAgainTimer);
        return;
    }
    LARGE_INTEGER started;
    QueryPerformanceCounter(&started);
    ShowText(*takenText);
    takenText->Clear();
    const auto pause =
        static_cast<UINT>(std::min<ULONGLONG>(ElapsedMs(started), USER_TIMER_MAXIMUM));
    if (!StartLookAgainTimer(window.load(), kLookAgainTimer, std::max(kLookAgainMs, pause))) {
        // Nobody would look again: the next hand-off wakes the window, and
        // text that came meanwhile is found once the window is idle.
        CScopedLock guard(handOffLock);
        wakePending = false;
    }
}

// Text that waits while nobody is asked to show it, because a wake could not
// be posted or the timer could not be set: shown now.
void CWindowsSystemLog::ShowForgottenText()
{
    {
        CScopedLock guard(handOffLock);
        if (wakePending || waitingText->Units() == 0) {
            return;
        }
        wakePending = true;
    }
    ShowWaitingText();
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
