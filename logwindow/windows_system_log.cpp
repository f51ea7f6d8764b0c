// The program's one window: the singleton, its GUI thread, the window procedure and the buttons.
#include "logwindow/windows_system_log.h"

#include "logwindow/control_keys.h"
#include "logwindow/log_control_common.h"
#include "logwindow/log_view_menu.h"
#include "logwindow/window_numbers.h"
#include "runtime/thread_name.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <initializer_list>
#include <iterator>

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

// A tab stop, so that the keyboard reaches the buttons too.
static constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
static_assert(kButtonStyle == 0x50010000, "button style changed");

// Sizes for 96 dpi; the window scales them to its own (Scaled).
static constexpr int kFontHeight = -11;
static constexpr wchar_t kFontFace[] = L"Tahoma";

static constexpr int kButtonTop = 2;
static constexpr int kButtonHeight = 32;
static constexpr int kClearLeft = 10;
static constexpr int kSaveLeft = 44;
static constexpr int kAutoscrollLeft = 78;
static constexpr int kSmallButtonWidth = 32;
static constexpr int kAutoscrollWidth = 96;

// The label says what pressing the button will do.
static constexpr wchar_t kAutoscrollOffLabel[] = L"Autoscroll Off";
static constexpr wchar_t kAutoscrollOnLabel[] = L"Autoscroll On";

static constexpr DWORD kMaxFileName = MAX_PATH;
static constexpr wchar_t kSaveDialogTitle[] = L"Save Kestrum Log As...";
// One filter, then the empty pair that ends the list.
static constexpr wchar_t kSaveFilter[] = L"Syslog Log(*.log)\0*.log\0";
static constexpr wchar_t kSaveDefaultExtension[] = L"*";
static constexpr DWORD kSaveFlags = OFN_OVERWRITEPROMPT | OFN_CREATEPROMPT | OFN_NOREADONLYRETURN;
static_assert(kSaveFlags == 0xA002, "save dialog flags changed");

// Anywhere in the window: Ctrl+F opens Find, F3 and Shift+F3 find the next
// and the previous occurrence.
static ACCEL kKeys[] = {
    {FVIRTKEY | FCONTROL, 'F', IDM_FIND},
    {FVIRTKEY, VK_F3, IDM_FIND_NEXT},
    {FVIRTKEY | FSHIFT, VK_F3, IDM_FIND_PREVIOUS},
};

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
      font(nullptr),
      autoscrollButton(nullptr),
      saveButton(nullptr),
      clearButton(nullptr),
      logView(nullptr),
      visible(true),
      dpi(kBaseDpi),
      find(nullptr),
      keys(nullptr)
{
    worker = new CWorkerThread(this, &CWindowsSystemLog::WindowThread);
    lock = new CKestrumCriticalSection();
    logView = new CLogView(DefaultLogControlKind());
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
    delete logView;
    logView = nullptr;
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
        if (message.message == WM_QUIT) {
            return;
        }
        // Tab, Enter and Escape in the Find dialog; then the window's keys;
        // then Tab and the buttons' keys among the window's controls.
        if ((find != nullptr && find->IsDialogMessageOf(&message)) ||
            (keys != nullptr && TranslateAcceleratorW(window.load(), keys, &message)) ||
            HandleControlKeys(window.load(), &message)) {
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
        return;
    }
    // Text whose wake could not be posted, or whose step timer was refused.
    logView->OnIdle();
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

// Controls hear of new system colours (high contrast switched on, say) only
// from their parent.
static void ForwardToControls(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    for (HWND control = GetWindow(hwnd, GW_CHILD); control != nullptr;
         control = GetWindow(control, GW_HWNDNEXT)) {
        SendMessageW(control, message, wParam, lParam);
    }
}

LRESULT CWindowsSystemLog::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: CreateControls(hwnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_SIZE: FitLogView(wParam, lParam); return 0;
    case WM_CLOSE: Hide(); return 0;
    case WM_COMMAND: OnCommand(hwnd, wParam); return 0;
    case WM_LOG_APPEND: AppendText(reinterpret_cast<wchar_t*>(wParam)); return 0;
    case WM_LOG_WAKE: logView->OnWake(); return 0;
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_ENTERIDLE: logView->OnIdle(); return 0;
    case WM_DPICHANGED: OnDpiChanged(hwnd, wParam, lParam); return 0;
    case WM_CONTEXTMENU: return OnContextMenu(hwnd, wParam, lParam);
    // DefWindowProcW focuses the window, and WM_SETFOCUS passes that on.
    case WM_ACTIVATE: RememberFocus(hwnd, wParam); break;
    case WM_SETFOCUS: FocusControl(hwnd, focusedControl); return 0;
    case WM_NEXTDLGCTL: MoveControlFocus(hwnd, wParam, lParam); return 0;
    case WM_SYSCOLORCHANGE: ForwardToControls(hwnd, message, wParam, lParam); return 0;
    default: break;
    }
    if (find != nullptr && message == find->DialogMessage()) {
        ReturnFocusFromFind(lParam);
        OnFound(find->OnDialogMessage(lParam));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void CWindowsSystemLog::Hide()
{
    if (!IsWindow(window.load()) || !visible) {
        return;
    }
    // Hide, don't destroy: the main loop ends the program when `visible` goes
    // false, and only the window thread may tear the controls down. An
    // owned window stays shown with its owner hidden: the Find dialog closes.
    find->Close();
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
    FitLogView(SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CWindowsSystemLog::FitLogView(WPARAM kind, LPARAM size)
{
    // A minimised window reports a client area of 0 by 0: the view keeps its
    // size, or every step would lay its text out at zero width.
    if (kind == SIZE_MINIMIZED) {
        return;
    }
    const int band = Scaled(kButtonBandHeight);
    const int width = LOWORD(size);
    const int height = std::max(0, HIWORD(size) - band);
    logView->Place(0, band, width, height);
}

void CWindowsSystemLog::DestroyWindows()
{
    delete find;
    find = nullptr;
    if (keys != nullptr) {
        DestroyAcceleratorTable(keys);
        keys = nullptr;
    }
    logView->Destroy();
    DestroyControl(clearButton);
    DestroyControl(saveButton);
    DestroyControl(autoscrollButton);
    // WM_DESTROY posts a quit message that no loop reads any more.
    HWND main = window.exchange(nullptr);
    DestroyControl(main);
}

static void SetControlFont(HWND control, HFONT font)
{
    // No redraw: the control is moved or painted for the first time next.
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

// Made at 0 by 0: ScaleControls places the buttons, the first WM_SIZE the view.
static HWND CreateChild(HWND parent, HINSTANCE instance, const wchar_t* className,
                        const wchar_t* text, DWORD style, int id)
{
    return CreateWindowExW(0, className, text, style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

void CWindowsSystemLog::CreateControls(HWND hwnd)
{
    dpi = WindowDpi(hwnd);

    logView->Create(hwnd, instance);
    clearButton = CreateChild(hwnd, instance, L"button", L"Clear", kButtonStyle, IDC_CLEAR);
    saveButton = CreateChild(hwnd, instance, L"button", L"Save", kButtonStyle, IDC_SAVE);
    autoscrollButton = CreateChild(hwnd, instance, L"button", kAutoscrollOffLabel, kButtonStyle,
                                   IDC_AUTOSCROLL);
    ScaleControls();
    find = new CLogFind(hwnd, logView);
    keys = CreateAcceleratorTableW(kKeys, static_cast<int>(std::size(kKeys)));

    // Last: other threads take a set `window` to mean that the controls exist.
    window = hwnd;
}

// The font and the buttons at the window's dpi; on a change of dpi, the old
// font is deleted once no control uses it.
void CWindowsSystemLog::ScaleControls()
{
    const HFONT scaled =
        CreateFontW(Scaled(kFontHeight), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_DONTCARE, kFontFace);
    if (scaled != nullptr) {
        for (HWND control : {clearButton, saveButton, autoscrollButton}) {
            SetControlFont(control, scaled);
        }
        const HFONT old = font;
        font = scaled;
        logView->SetFont(font);
        if (old != nullptr) {
            DeleteObject(old);
        }
    }
    const int top = Scaled(kButtonTop);
    const int height = Scaled(kButtonHeight);
    MoveWindow(clearButton, Scaled(kClearLeft), top, Scaled(kSmallButtonWidth), height, TRUE);
    MoveWindow(saveButton, Scaled(kSaveLeft), top, Scaled(kSmallButtonWidth), height, TRUE);
    MoveWindow(autoscrollButton, Scaled(kAutoscrollLeft), top, Scaled(kAutoscrollWidth), height,
               TRUE);
}

void CWindowsSystemLog::OnCommand(HWND hwnd, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_CLEAR: logView->Clear(); break;
    case IDC_SAVE: SaveWithDialog(hwnd); break;
    case IDC_AUTOSCROLL: ToggleAutoscroll(); break;
    case IDM_FIND: find->Open(); break;
    case IDM_FIND_NEXT: OnFound(find->Next(true)); break;
    case IDM_FIND_PREVIOUS: OnFound(find->Next(false)); break;
    case IDM_COPY: logView->Copy(); break;
    case IDM_SELECT_ALL: logView->SelectAll(); break;
    default: break;
    }
}

void CWindowsSystemLog::ToggleAutoscroll()
{
    const bool on = !logView->Autoscroll();
    logView->SetAutoscroll(on);
    SetWindowTextW(autoscrollButton, on ? kAutoscrollOffLabel : kAutoscrollOnLabel);
}

// Found text stays in view while text arrives: autoscroll goes off.
void CWindowsSystemLog::OnFound(bool found)
{
    if (found && logView->Autoscroll()) {
        ToggleAutoscroll();
    }
}

void CWindowsSystemLog::OnTimer(WPARAM id)
{
    if (id == IDT_LOG_STEP) {
        logView->OnStepTimer();
    }
}

void CWindowsSystemLog::ShowViewMenu(HWND from, LPARAM where)
{
    const HWND view = logView->Control();
    if (from != view) {
        return;
    }
    const int command = TrackLogViewMenu(window.load(), view, where);
    if (command != 0) {
        OnCommand(window.load(), static_cast<WPARAM>(command));
    }
}

// The view's own menu; any other, such as the window menu of a right click
// on the caption, is the system's.
LRESULT CWindowsSystemLog::OnContextMenu(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    const HWND from = reinterpret_cast<HWND>(wParam);
    if (from != logView->Control()) {
        return DefWindowProcW(hwnd, WM_CONTEXTMENU, wParam, lParam);
    }
    ShowViewMenu(from, lParam);
    return 0;
}

void CWindowsSystemLog::RememberFocus(HWND hwnd, WPARAM activation)
{
    if (LOWORD(activation) == WA_INACTIVE) {
        focusedControl = FocusedControlId(hwnd, focusedControl);
    }
}

// Find acts on the view: once it closes, Ctrl+C copies what it found. The
// window is usually activated afterwards, and then focuses the view.
void CWindowsSystemLog::ReturnFocusFromFind(LPARAM lParam)
{
    const auto* asked = reinterpret_cast<const FINDREPLACEW*>(lParam);
    if (asked == nullptr || (asked->Flags & FR_DIALOGTERM) == 0) {
        return;
    }
    focusedControl = IDC_LOG;
    if (GetActiveWindow() == window.load()) {
        FocusControl(window.load(), focusedControl);
    }
}

void CWindowsSystemLog::SaveWithDialog(HWND owner)
{
    wchar_t name[kMaxFileName] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kSaveFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name;
    dialog.nMaxFile = kMaxFileName;
    dialog.lpstrTitle = kSaveDialogTitle;
    dialog.Flags = kSaveFlags;
    dialog.lpstrDefExt = kSaveDefaultExtension;
    if (!GetSaveFileNameW(&dialog)) {
        return;  // cancelled: nothing to do
    }
    // The name stays UTF-16, so a name outside the ANSI code page is saved
    // where the user chose. Failures have been shown to the user.
    SaveToFile(name);
}

// A sender of WM_LOG_APPEND waits until its text is shown, behind whatever
// was handed over before it.
void CWindowsSystemLog::AppendText(wchar_t* text)
{
    if (text != nullptr) {
        logView->ShowNow(text, wcslen(text));
    }
    free(text);
}

bool CWindowsSystemLog::SaveToFile(const wchar_t* path)
{
    return logView->SaveTo(path);
}

void CWindowsSystemLog::HandOverText(const wchar_t* text, size_t units)
{
    if (visible) {
        logView->HandOver(text, units);
    }
}
