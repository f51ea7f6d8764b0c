// The program's one window: the singleton, its GUI thread and the window procedure.
#include "logwindow/windows_system_log.h"

#include "runtime/scoped_lock.h"
#include "runtime/thread_name.h"

#include <algorithm>

static_assert(sizeof(std::atomic<bool>) == 1 && std::atomic<bool>::is_always_lock_free,
              "visible is a one-byte flag read without the lock");
static_assert(std::atomic<HWND>::is_always_lock_free, "window is read by other threads");

static constexpr wchar_t kWindowClass[] = L"Syslog";
static constexpr wchar_t kWindowTitle[] = L"Syslog";
static constexpr int kWindowWidth = 800;
static constexpr int kWindowHeight = 400;
static constexpr UINT kWindowClassStyle = CS_VREDRAW | CS_HREDRAW;
static_assert(kWindowClassStyle == 3, "window class style changed");
static constexpr DWORD kHiddenWindowStyle = WS_OVERLAPPEDWINDOW;
static constexpr DWORD kShownWindowStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
static_assert(kShownWindowStyle == 0x10CF0000, "main window style changed");

// Every size here and in the log view is given for this dpi and scaled to the
// window's, so the window keeps its proportions on a high-dpi screen.
static constexpr int kBaseDpi = USER_DEFAULT_SCREEN_DPI;
static_assert(kBaseDpi == 96, "sizes are given for 96 dpi");
// The buttons sit in a band this high above the log view.
static constexpr int kButtonBandHeight = 36;
// The program's icon in its resources (app/syslog.rc).
static constexpr WORD kAppIconId = 1;
// Between two looks at the thread's state when no message waits. Any message
// ends the wait at once, so this only bounds how soon a stop request is
// seen; each wake costs a trip through the display system, and an idle
// window should cost next to nothing.
static constexpr DWORD kIdleSleepMs = 50;
// Between two looks for the window during start-up.
static constexpr DWORD kWindowPollMs = 1;

static CWindowsSystemLog* gWindowsSystemLog = nullptr;

CWindowsSystemLog* CWindowsSystemLog::Instance()
{
    // No lock: the first call is on the main thread before any other thread runs.
    if (gWindowsSystemLog == nullptr) {
        gWindowsSystemLog = new CWindowsSystemLog();
    }
    return gWindowsSystemLog;
}

void CWindowsSystemLog::DestroyInstance()
{
    delete gWindowsSystemLog;
    gWindowsSystemLog = nullptr;
}

CWindowsSystemLog::CWindowsSystemLog()
    : worker(nullptr),
      lock(nullptr),
      window(nullptr),
      instance(GetModuleHandleW(nullptr)),
      richEditModule(nullptr),
      font(nullptr),
      autoscrollButton(nullptr),
      saveButton(nullptr),
      clearButton(nullptr),
      logView(nullptr),
      autoscroll(true),
      visible(true),
      dpi(kBaseDpi),
      handOffLock(nullptr),
      waitingText(new CLogWaitingText()),
      wakePending(false),
      takenText(new CLogWaitingText()),
      viewText(new CLogText()),
      viewFace{},
      viewCharSet(DEFAULT_CHARSET),
      nextViewFont(0)
{
    worker = new CWorkerThread(this, &CWindowsSystemLog::WindowThread);
    lock = new CKestrumCriticalSection();
    handOffLock = new CKestrumCriticalSection();
}

CWindowsSystemLog::~CWindowsSystemLog()
{
    // The window thread destroys the windows itself before it ends.
    if (worker != nullptr) {
        worker->Stop();
        delete worker;
        worker = nullptr;
    }
    delete lock;
    lock = nullptr;
    // After the thread: nobody shows texts any more, and the receiver that
    // hands them over was deleted before.
    delete waitingText;
    waitingText = nullptr;
    delete takenText;
    takenText = nullptr;
    delete viewText;
    viewText = nullptr;
    delete handOffLock;
    handOffLock = nullptr;
    if (richEditModule != nullptr) {
        FreeLibrary(richEditModule);
        richEditModule = nullptr;
    }
    if (font != nullptr) {
        DeleteObject(font);
        font = nullptr;
    }
}

bool CWindowsSystemLog::StartWindowThread()
{
    if (worker == nullptr || !worker->Start()) {
        return false;
    }
    // The window thread either makes the window or ends, so this wait is
    // bounded by the window's creation.
    for (;;) {
        if (IsWindow(window.load())) {
            return true;
        }
        if (worker->ReadState() != Running) {
            return false;
        }
        Sleep(kWindowPollMs);
    }
}

static bool RegisterWindowClass(HINSTANCE instance)
{
    WNDCLASSW windowClass = {};
    windowClass.style = kWindowClassStyle;
    windowClass.lpfnWndProc = &CWindowsSystemLog::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId));
    if (windowClass.hIcon == nullptr) {
        // A host without our resources, such as a test program.
        windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    }
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    // A class left behind by an earlier object of this process serves as well.
    return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// One turn of the message loop. It never blocks for longer than one idle
// pause, so a stop request is seen within it. A WM_QUIT is dropped: only the
// stop request ends the loop.
void CWindowsSystemLog::PumpMessages()
{
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return;
    }
    ShowForgottenText();
    // Like a short sleep, but a message ends it at once.
    MsgWaitForMultipleObjectsEx(0, nullptr, kIdleSleepMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

// GetDpiForWindow is new in Windows 10 (1607); Windows 7 and 8 have only the
// system dpi, which the screen's device context reports.
UINT CWindowsSystemLog::WindowDpi(HWND window)
{
    using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
    // Through void(*)(): a cast between unrelated function types draws a warning.
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowCall>(
        reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (window != nullptr && getDpiForWindow != nullptr) {
        const UINT found = getDpiForWindow(window);
        if (found != 0) {
            return found;
        }
    }
    const HDC screen = GetDC(nullptr);
    const int found = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return found > 0 ? static_cast<UINT>(found) : kBaseDpi;
}

int CWindowsSystemLog::Scaled(int length) const
{
    return MulDiv(length, static_cast<int>(dpi), kBaseDpi);
}

bool CWindowsSystemLog::RunsWindowThread()
{
    if (!RegisterWindowClass(instance)) {
        return false;
    }
    // The window does not exist yet, so its size follows the system dpi.
    dpi = WindowDpi(nullptr);
    const int width = Scaled(kWindowWidth);
    const int height = Scaled(kWindowHeight);
    // WM_CREATE stores `window` once the controls exist, and the window's own dpi.
    const HWND created = CreateWindowExW(0, kWindowClass, kWindowTitle,
                                         visible ? kShownWindowStyle : kHiddenWindowStyle,
                                         CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr,
                                         nullptr, instance, nullptr);
    if (created == nullptr) {
        return false;
    }
    // Placed on a screen whose dpi differs from the system's.
    if (Scaled(kWindowWidth) != width) {
        SetWindowPos(created, nullptr, 0, 0, Scaled(kWindowWidth), Scaled(kWindowHeight),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return true;
}

uint32_t CWindowsSystemLog::WindowThread(CWorkerThread* record)
{
    if (record == nullptr) {
        return 0;
    }
    auto* self = static_cast<CWindowsSystemLog*>(record->owner);
    NameCurrentThread(L"syslog-window");
    // Without a window there is nothing to pump: end, so that start-up stops
    // waiting for a window that will never come.
    if (self->RunsWindowThread()) {
        while (record->ReadState() == Running) {
            self->PumpMessages();
        }
    }
    self->DestroyWindows();
    {
        // Nothing is shown any more.
        CScopedLock guard(self->handOffLock);
        self->waitingText->Clear();
    }
    // Lets a later object of this process register the class afresh; fails
    // harmlessly while another window of the class exists.
    UnregisterClassW(kWindowClass, self->instance);
    return 0;
}

LRESULT CALLBACK CWindowsSystemLog::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                               LPARAM lParam)
{
    // The pointer is set before the window thread starts and cleared after it
    // ended, so the window thread reads it without a lock.
    CWindowsSystemLog* self = gWindowsSystemLog;
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->HandleMessage(hwnd, message, wParam, lParam);
}

LRESULT CWindowsSystemLog::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: CreateControls(hwnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_SIZE: FitLogView(lParam); return 0;
    case WM_CLOSE: Hide(); return 0;
    case WM_COMMAND: OnCommand(hwnd, wParam); return 0;
    case WM_LOG_APPEND: AppendText(reinterpret_cast<wchar_t*>(wParam)); return 0;
    case WM_LOG_WAKE: ShowWaitingText(); return 0;
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_ENTERIDLE: ShowForgottenText(); return 0;
    case WM_DPICHANGED: OnDpiChanged(hwnd, wParam, lParam); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void CWindowsSystemLog::Hide()
{
    if (!IsWindow(window.load()) || !visible) {
        return;
    }
    // Hide, don't destroy: the main loop ends the program when `visible` goes
    // false, and only the window thread may tear the controls down.
    ShowWindow(window.load(), SW_HIDE);
    visible = false;
}

// Moved to another screen, or the screen's scale changed: WPARAM holds the new
// dpi, LPARAM the rectangle that Windows suggests for the window at that dpi.
void CWindowsSystemLog::OnDpiChanged(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    const UINT newDpi = HIWORD(wParam);
    if (newDpi == 0) {
        return;
    }
    dpi = newDpi;
    ScaleControls();
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    if (suggested != nullptr) {
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The band's height changed even if the window's size did not.
    RECT client = {};
    GetClientRect(hwnd, &client);
    FitLogView(MAKELPARAM(client.right, client.bottom));
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CWindowsSystemLog::FitLogView(LPARAM size)
{
    const int band = Scaled(kButtonBandHeight);
    const int width = LOWORD(size);
    // A minimised window reports a client area of 0 by 0.
    const int height = std::max(0, HIWORD(size) - band);
    MoveWindow(logView, 0, band, width, height, TRUE);
}

static void DestroyControl(HWND& control)
{
    if (IsWindow(control)) {
        DestroyWindow(control);
    }
    control = nullptr;
}

void CWindowsSystemLog::DestroyWindows()
{
    DestroyControl(logView);
    DestroyControl(clearButton);
    DestroyControl(saveButton);
    DestroyControl(autoscrollButton);
    // WM_DESTROY posts a quit message that no loop reads any more.
    HWND main = window.exchange(nullptr);
    DestroyControl(main);
}
