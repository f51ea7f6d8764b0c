// The program's one window, a singleton that runs its own GUI thread: its messages and its buttons.
#pragma once

#include "logwindow/log_find.h"
#include "logwindow/log_view.h"
#include "logwindow/window_numbers.h"
#include "runtime/kestrum_critical_section.h"
#include "runtime/worker_thread.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

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

    // The controls and the buttons; all of them run on the window thread.
    void CreateControls(HWND hwnd);
    void OnCommand(HWND hwnd, WPARAM wParam);
    void AppendText(wchar_t* text);
    bool SaveToFile(const wchar_t* path);

    CWorkerThread* worker;
    // Held by senders of WM_LOG_APPEND around their send, if they like; the
    // window thread never takes it, so that cannot deadlock.
    CKestrumCriticalSection* lock;
    // Written by the window thread, read by the main thread and by senders.
    std::atomic<HWND> window;
    HINSTANCE instance;
    // The font of the buttons and of the view's text, at the window's dpi.
    HFONT font;
    HWND autoscrollButton, saveButton, clearButton;
    // The view that shows the log text (control id IDC_LOG), with its
    // control's library and its autoscroll: made with the object, its control
    // with the window.
    CLogView* logView;
    std::atomic<bool> visible;
    // The window's dpi, which every size and the font follow; window thread only.
    UINT dpi;
    // Find in the view, and the keys that ask for it; window thread only.
    CLogFind* find;
    HACCEL keys;

private:
    void PumpMessages();
    bool RunsWindowThread();
    void Hide();
    int Scaled(int length) const;
    void OnDpiChanged(HWND hwnd, WPARAM wParam, LPARAM lParam);
    void ScaleControls();
    void FitLogView(WPARAM kind, LPARAM size);
    void ToggleAutoscroll();
    void OnTimer(WPARAM id);
    void OnFound(bool found);
    void ShowViewMenu(HWND from, LPARAM where);
    void SaveWithDialog(HWND owner);
    LRESULT OnContextMenu(HWND hwnd, WPARAM wParam, LPARAM lParam);
    void RememberFocus(HWND hwnd, WPARAM activation);
    void ReturnFocusFromFind(LPARAM lParam);

    // The control that gets the focus when the window does: the one that had
    // it when the window was last deactivated. Kept by control id, since the
    // view may make a new control meanwhile. Window thread only.
    int focusedControl = IDC_LOG;
};
