// The log view: the text the window shows, its steps and its commands, over a control per platform.
#pragma once

#include "logwindow/log_control.h"
#include "logwindow/log_hand_off.h"
#include "logwindow/log_text.h"
#include "logwindow/log_waiting_text.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

class CLogView {
public:
    explicit CLogView(LogControlKind kind);
    ~CLogView();
    CLogView(const CLogView&) = delete;
    CLogView& operator=(const CLogView&) = delete;

    // Window thread, from the parent's WM_CREATE: loads the rich edit's
    // library and makes the control (id IDC_LOG, 0 by 0 until Place). False
    // when it could not be made.
    bool Create(HWND parent, HINSTANCE instance);
    // Window thread: destroys the control; texts handed over later are dropped.
    void Destroy();
    // The control's window; under Wine it may change from one step to the next.
    HWND Control() const;

    // Any thread: queues a copy of `units` of `text` and returns at once,
    // never waiting for the window thread. Texts are shown in the order handed
    // over, in steps paced so that the window thread keeps answering.
    void HandOver(const wchar_t* text, size_t units) { handOff->HandOver(text, units); }
    // Window thread: shows `text` now, behind everything handed over before.
    void ShowNow(const wchar_t* text, size_t units);

    // Window thread, from the parent's WM_LOG_WAKE, WM_TIMER (IDT_LOG_STEP)
    // and idle turns.
    void OnWake() { StepWhenDue(); }
    void OnStepTimer();
    void OnIdle() { StepWhenDue(); }

    // Window thread: the view's settings and commands.
    void SetFont(HFONT font);
    void Place(int x, int y, int width, int height);
    bool Autoscroll() const { return autoscroll; }
    void SetAutoscroll(bool on) { autoscroll = on; }
    // Empties the view and drops what waits.
    void Clear();
    // Selects [start, end) and scrolls it into view.
    void Select(size_t start, size_t end);
    void Copy();
    void SelectAll();
    // What the view holds, character for character (a line break is one
    // kLogLineBreak): exactly the control's positions.
    const CLogText& Text() const { return text; }
    // Writes the control's whole text to `path` as UTF-8; a failure is shown
    // in a message box owned by the parent. An empty view writes nothing.
    bool SaveTo(const wchar_t* path) const;

    // Any thread: true once everything handed over has been shown.
    bool Settled() { return handOff->Settled(); }
    // Any thread: moves what waits into `into`, for a test of what a view
    // without a window thread was handed.
    void DrainWaiting(CLogText& into) { handOff->Drain(into); }

private:
    bool ReaderHolds() const;
    void StepWhenDue();
    void StartStepTimer(uint64_t delayMs);
    void Step();
    void Show(size_t removed);

    CLogControl* control;
    CLogHandOff* handOff;
    HWND parent;
    // Msftedit.dll, which provides the control's class.
    HMODULE richEditModule;
    bool autoscroll;
    // What the control holds, and what the window thread is showing.
    CLogText text;
    CLogWaitingText* taken;
    // When the next step may start (GetTickCount64), and whether the step
    // timer runs.
    ULONGLONG nextStepAt;
    bool timerRuns;
};
