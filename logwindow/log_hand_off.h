// The hand-off of text from any thread to the log view: the only part of the view that two threads touch.
#pragma once

#include "logwindow/log_text.h"
#include "logwindow/log_waiting_text.h"
#include "runtime/kestrum_critical_section.h"

#include <windows.h>

#include <cstddef>

// Everything here is under one lock, held only for a copy or a swap, never
// across a message, so a sender never waits for the window thread.
class CLogHandOff {
public:
    CLogHandOff();
    ~CLogHandOff();
    CLogHandOff(const CLogHandOff&) = delete;
    CLogHandOff& operator=(const CLogHandOff&) = delete;

    // Window thread: wakes go to `target` from now on (WM_LOG_WAKE).
    void Open(HWND target);
    // Window thread: what waits goes, and texts handed over later are dropped.
    void Close();

    // Any thread: queues a copy of `units` of `text` and wakes the window
    // thread once per take. Texts are shown in the order handed over.
    void HandOver(const wchar_t* text, size_t units);
    // Window thread: queues a copy without a wake; it is taken at once.
    void Add(const wchar_t* text, size_t units);
    // Window thread: what waits changes places with `into` (which must be
    // empty); true when there was any. Until StepDone, the hand-off is not
    // settled.
    bool Take(CLogWaitingText& into);
    void StepDone();
    // Window thread: drops what waits, as Clear does.
    void Drop();

    // Any thread: true once everything handed over has been taken and shown.
    bool Settled();
    // Any thread: moves what waits into `into`, for a test of what a view
    // without a window thread was handed.
    void Drain(CLogText& into);

private:
    void AddLocked(const wchar_t* text, size_t units);

    CKestrumCriticalSection* lock;
    // Text handed over and not yet taken, and how much could not be kept for
    // want of memory.
    CLogWaitingText* waiting;
    size_t lostUnits;
    // A wake has been posted since the window thread last took what waits,
    // and the window thread is showing what it took.
    bool wakePosted;
    bool stepping;
    // Where wakes go; and whether the view was closed, after which texts are
    // dropped.
    HWND wakeTarget;
    bool closed;
};
