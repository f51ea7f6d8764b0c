// The log view: the control that shows the log text, and everything about it.
#pragma once

#include "logwindow/log_contract.h"
#include "logwindow/log_reader_place.h"
#include "logwindow/log_rtf.h"
#include "logwindow/log_text.h"
#include "logwindow/log_waiting_text.h"
#include "runtime/kestrum_critical_section.h"

#include <windows.h>

#include <cstddef>

// Posted to the view's parent, never sent, when text waits: posted messages
// reach a window in modal loops too (a dialog, a message box, moving or
// sizing the window), so texts keep appearing meanwhile.
inline constexpr UINT WM_LOG_WAKE = WM_APP + 1;

// How the view keeps its text. Windows' control edits a long paragraph
// cheaply: one control for the window's life, trimmed in place, its text in
// one format. Wine's lays a paragraph out afresh at every change, at a cost
// that grows with the square of a run's length, and deletes from it slowly:
// the text goes in as parts in two formats that never join, and a trim of a
// long paragraph makes a new control.
enum class LogViewPath { Windows, Wine };

// The path for this platform, unless a test chose one (ChooseLogViewPath).
LogViewPath DefaultLogViewPath();
// Lets a test run either path on either platform; views made later take it.
void ChooseLogViewPath(LogViewPath path);

class CLogView {
public:
    explicit CLogView(LogViewPath path);
    ~CLogView();
    CLogView(const CLogView&) = delete;
    CLogView& operator=(const CLogView&) = delete;

    // Window thread, from the parent's WM_CREATE: makes the control (id
    // IDC_LOG, 0 by 0 until Place). False when it could not be made.
    bool Create(HWND parent, HINSTANCE instance);
    // Window thread: destroys the control; texts handed over later are dropped.
    void Destroy();
    HWND Control() const { return control; }
    LogViewPath Path() const { return path; }

    // Any thread: queues a copy of `units` of `text` and returns at once,
    // never waiting for the window thread. Texts are shown in the order handed
    // over, in steps paced so that the window thread keeps answering.
    void HandOver(const wchar_t* text, size_t units);
    // Window thread: shows `text` now, behind everything handed over before.
    void ShowNow(const wchar_t* text, size_t units);

    // Window thread, from the parent's messages.
    void OnWake() { StepWhenDue(); }
    void OnTimer(WPARAM id);
    void OnIdle() { StepWhenDue(); }

    // Window thread: the view's settings and commands.
    void SetFont(HFONT viewFont);
    void Place(int x, int y, int width, int height);
    void SetAutoscroll(bool on) { autoscroll = on; }
    // Empties the view and drops what waits.
    void Clear();
    // Selects [start, end) and scrolls it into view.
    void Select(size_t start, size_t end);
    // What the view holds, character for character (a line break is one
    // kLogLineBreak): exactly the control's positions.
    const CLogText& Text() const { return text; }
    // Writes the control's whole text to `path` as UTF-8; a failure is shown
    // in a message box owned by the parent. An empty view writes nothing.
    bool SaveTo(const wchar_t* path) const;

    // Any thread: true once everything handed over has been shown.
    bool Settled();
    // Any thread: moves what waits into `into`, for a test of what a view
    // without a window thread was handed.
    void DrainWaiting(CLogText& into);

private:
    HWND MakeControl(const RECT& bounds, bool shown) const;
    void UseFont(HWND view) const;
    void Subclass(HWND view);
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool ReaderHolds() const;
    void StepWhenDue();
    void StartStepTimer(ULONGLONG delayMs);
    void AddWaiting(const wchar_t* added, size_t units);
    bool TakeWaiting();
    void Step();
    void Show(size_t removed, bool touchesLongParagraph);
    void ReplaceControl(const LogReaderPlace& place, size_t removed);
    bool Insert(HWND view, const wchar_t* added, size_t units);
    void SetRight();

    const LogViewPath path;
    HWND parent;
    HINSTANCE instance;
    HFONT font;
    HWND control;
    bool autoscroll;
    // What the control holds; window thread only.
    CLogText text;
    // The view font's names in the Wine path's rich text, and which of its
    // two names the next part takes; window thread only.
    LogRtfFont rtfFont;
    int nextFont;
    // When the next step may start (GetTickCount64), and whether the step
    // timer runs; window thread only.
    ULONGLONG nextStepAt;
    bool timerRuns;
    // Text handed over and not yet shown, how much of it could not be kept
    // for want of memory, whether a wake has been posted since the window
    // thread last took it, and whether a step shows what it took; under
    // `handOffLock`, which is held only for a copy or a swap, never across a
    // message.
    CKestrumCriticalSection* handOffLock;
    CLogWaitingText* waiting;
    size_t lostUnits;
    bool wakePosted;
    bool stepping;
    // Where wakes go: the parent, once the control exists; and whether the
    // control was destroyed, after which texts are dropped.
    HWND wakeTarget;
    bool closed;
    // What the window thread is showing; window thread only.
    CLogWaitingText* taken;
};
