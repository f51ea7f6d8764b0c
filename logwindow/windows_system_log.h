// The program's one window, a singleton that runs its own GUI thread, and its log view.
#pragma once

#include "logwindow/log_text_queue.h"
#include "runtime/kestrum_critical_section.h"
#include "runtime/worker_thread.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

// Other threads hand text to the window with this message, sent with
// SendMessageW: WPARAM is a malloc'ed, zero-terminated UTF-16 text (or null)
// that the window frees; LPARAM is not read. The receiver queues its texts
// in `queuedTexts` instead, so that it never waits for the view.
inline constexpr UINT WM_LOG_APPEND = WM_USER + 1;
static_assert(WM_LOG_APPEND == 1025, "the append message is part of our contract");

// Control ids of the children of the main window.
inline constexpr int IDC_LOG = 0;
inline constexpr int IDC_CLEAR = 1;
inline constexpr int IDC_SAVE = 2;
inline constexpr int IDC_AUTOSCROLL = 3;
static_assert(IDC_LOG == 0 && IDC_CLEAR == 1 && IDC_SAVE == 2 && IDC_AUTOSCROLL == 3,
              "control ids are part of our contract");

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

    static uint32_t WindowThread(CWorkerThread* record);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The dpi of `window`; the system's when `window` is null.
    static UINT WindowDpi(HWND window);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void DestroyWindows();

    // The log view (log_view.cpp); all of them run on the window thread.
    void CreateControls(HWND hwnd);
    void OnCommand(HWND hwnd, WPARAM wParam);
    void AppendText(wchar_t* text);
    bool SaveToFile(const wchar_t* path);

    CWorkerThread* worker;
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
    // Texts from other threads that wait for the view; added under `lock`.
    CLogTextQueue* queuedTexts;

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
    void TrimOldestText();
    void ReportSaveFailure(const wchar_t* reason, const wchar_t* path);
};
