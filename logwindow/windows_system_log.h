// The program's one window, a singleton that runs its own GUI thread, and its log view.
#pragma once

#include "logwindow/log_text.h"
#include "logwindow/log_view.h"
#include "logwindow/log_waiting_text.h"
#include "runtime/kestrum_critical_section.h"
#include "runtime/worker_thread.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

// Posted to the window, never sent, by HandOverText when text waits: posted
// messages reach the window in modal loops too (a dialog, a message box,
// moving or sizing the window), so texts keep appearing meanwhile.
inline constexpr UINT WM_LOG_WAKE = WM_APP + 1;

class CWindowsSystemLog {
public:
    // The one object, made on first use.
    static CWindowsSystemLog* Instance();
    // Deletes the object (stopping its thread) and clears the pointer.
    static void DestroyInstance();

    CWindowsSystemLog();
    virtual ~CWindowsSystemLog();

    CWindowsSystemLog(const CWindowsSystemLog&) = delete;
    CWindowsSystemLog& operator=(const CWindowsSystemLog&) = delete;

    // Starts the window thread and waits until the window exists. False when
    // the thread could not start or ended without making the window.
    bool StartWindowThread();

    // Any thread: queues a copy of `text` for the view and returns at once,
    // never waiting for the window. Texts are shown in the order handed over;
    // dropped once the window is closed.
    void HandOverText(const wchar_t* text, size_t units);

    static uint32_t WindowThread(CWorkerThread* record);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The dpi of `window`; the system's when `window` is null.
    static UINT WindowDpi(HWND window);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void DestroyWindows();

    // The log view (log_view.cpp, log_view_step.cpp, log_hand_off.cpp); all
    // of them run on the window thread.
    void CreateControls(HWND hwnd);
    void OnCommand(HWND hwnd, WPARAM wParam);
    void AppendText(wchar_t* text);
    void ShowWaitingText();
    void ShowForgottenText();
    bool SaveToFile(const wchar_t* path);

    CWorkerThread* worker;
    // Held by senders of WM_LOG_APPEND around their send, if they like; the
    // window thread never takes it, so that cannot deadlock.
    CKestrumCriticalSection* lock;
    // Written by the window thread, read by the main thread and by senders.
    std::atomic<HWND> window;
    HINSTANCE instance;
    HMODULE richEditModule;
    HFONT font;
    HWND autoscrollButton, saveButton, clearButton, logView;
    bool autoscroll;
    std::atomic<bool> visible;
    // The window's dpi, which every size and the font follow; window thread only.
    UINT dpi;
    // Text handed over and not yet shown, and whether the window thread will
    // look at it without being asked again (a wake is posted, or the
    // look-again timer runs); both under `handOffLock`, which is held only
    // for a copy or a swap, never across a message.
    CKestrumCriticalSection* handOffLock;
    CLogWaitingText* waitingText;
    bool wakePending;
    // What the window thread is showing; window thread only.
    CLogWaitingText* takenText;
    // What the log view holds, character for character; window thread only.
    CLogText* viewText;
    // The view font's face and character set as rich text names them, and
    // which of its two names the next part of text takes (CLogRtfSource);
    // window thread only.
    char viewFace[LF_FACESIZE];
    int viewCharSet;
    int nextViewFont;

private:
    void PumpMessages();
    bool RunsWindowThread();
    void Hide();
    int Scaled(int length) const;
    void OnDpiChanged(HWND hwnd, WPARAM wParam, LPARAM lParam);
    void ScaleControls();
    void FitLogView(LPARAM size);
    void ToggleAutoscroll();
    void SaveWithDialog(HWND owner);
    static HWND CreateLogView(HWND parent, HINSTANCE instance, const RECT& bounds, bool shown);
    static void SetLogViewFont(HWND view, HFONT font);
    void UseViewFont();
    void ShowText(const CLogWaitingText& text);
    void StreamIn(HWND view, size_t at, const wchar_t* text, size_t units);
    void ReplaceView(size_t removed);
    void OnTimer(WPARAM id);
    void ReportSaveFailure(const wchar_t* reason, const wchar_t* path);
};
