// The calls by which the log window is woken for waiting text, which a test may make fail.
#include "logwindow/window_calls.h"

#include "logwindow/window_numbers.h"

bool PostLogWake(HWND window)
{
    return window != nullptr && PostMessageW(window, WM_LOG_WAKE, 0, 0) != FALSE;
}

bool StartLookAgainTimer(HWND window, UINT_PTR id, UINT ms)
{
    return SetTimer(window, id, ms, nullptr) != 0;
}
