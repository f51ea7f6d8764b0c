// The calls by which the log window is woken for waiting text, which a test may make fail.
#pragma once

#include <windows.h>

// Posts WM_LOG_WAKE to `window`; false when it could not be posted (no
// window, or its queue is full). Its own translation unit, so that a test
// can make it fail at link time.
bool PostLogWake(HWND window);

// Starts (or restarts) the window's timer `id` at `ms`; false when the
// system has no timer to give.
bool StartLookAgainTimer(HWND window, UINT_PTR id, UINT ms);
