// Link-time stand-ins for the log window's wake post and timer, able to fail on request.
#include "tests/support/failing_window_calls.h"

#include "logwindow/window_calls.h"
#include "logwindow/window_numbers.h"

std::atomic<bool> gFailWakePosts{false};
std::atomic<bool> gFailLookAgainTimers{false};

bool PostLogWake(HWND window)
{
    return !gFailWakePosts && window != nullptr &&
           PostMessageW(window, WM_LOG_WAKE, 0, 0) != FALSE;
}

bool StartLookAgainTimer(HWND window, UINT_PTR id, UINT ms)
{
    return !gFailLookAgainTimers && SetTimer(window, id, ms, nullptr) != 0;
}
