// The log view of CWindowsSystemLog: its controls, the buttons, showing text with trimming, saving.
#include "logwindow/log_view.h"

#include "logwindow/view_font.h"
#include "logwindow/windows_system_log.h"
#include "runtime/scoped_lock.h"
#include "runtime/text_conversion.h"

#include <commdlg.h>
#include <richedit.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <memory>
#include <string>

static constexpr wchar_t kRichEditLibrary[] = L"Msftedit.dll";
static constexpr wchar_t kLogViewClass[] = L"RICHEDIT50W";
static constexpr DWORD kLogViewStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_READONLY | ES_MULTILINE;
static_assert(kLogViewStyle == 0x50210804, "log view style changed");
static constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE;
static_assert(kButtonStyle == 0x50000000, "button style changed");

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

// A rich edit control silently drops text past 32,767 characters unless told
// otherwise; leave ample room above the trim threshold plus one step.
static constexpr LPARAM kLogViewTextLimit = 1 << 20;
static_assert(kLogViewTextLimit > 4 * kLogTrimAbove, "the text limit must stay clear of trimming");
// Nothing the view shows can be undone, so it keeps no copies for undoing.
static constexpr WPARAM kNoUndo = 0;

static constexpr DWORD kMaxFileName = MAX_PATH;
static constexpr wchar_t kSaveDialogTitle[] = L"Save Kestrum Log As...";
// One filter, then the empty pair that ends the list.
static constexpr wchar_t kSaveFilter[] = L"Syslog Log(*.log)\0*.log\0";
static constexpr wchar_t kSaveDefaultExtension[] = L"*";
static constexpr DWORD kSaveFlags = OFN_OVERWRITEPROMPT | OFN_CREATEPROMPT | OFN_NOREADONLYRETURN;
static_assert(kSaveFlags == 0xA002, "save dialog flags changed");

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

// A log view with everything it needs before its first text: rich text, so
// that its text can be given in parts that stay apart (CLogRtfSource); no
// undo; a limit far above the trim threshold; lines wrapped at its own
// width. Made at `bounds` so that its first text is laid out once, at the
// width it is shown at.
HWND CWindowsSystemLog::CreateLogView(HWND parent, HINSTANCE instance, const RECT& bounds,
                                      bool shown)
{
    const HWND view = CreateWindowExW(
        0, kLogViewClass, nullptr, shown ? kLogViewStyle : kLogViewStyle & ~WS_VISIBLE,
        bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOG)), instance, nullptr);
    if (view == nullptr) {
        return nullptr;
    }
    // Only an empty control accepts a change of text mode.
    SendMessageW(view, EM_SETTEXTMODE, TM_RICHTEXT, 0);
    SendMessageW(view, EM_SETUNDOLIMIT, kNoUndo, 0);
    SendMessageW(view, EM_EXLIMITTEXT, 0, kLogViewTextLimit);
    SendMessageW(view, EM_SETTARGETDEVICE, 0, 0);
    return view;
}

// The view's default format in `font`. Wine's rich edit scrolls a line at
// a time by the height of that format's font, which it takes from a laid
// out run of the same format when the font is set, and guesses 24 pixels
// otherwise; every part of the view's text has a format of its own. So a
// character is laid out in the default format, taken away, and the font set
// again: the view then scrolls by its real lines.
void CWindowsSystemLog::SetLogViewFont(HWND view, HFONT font)
{
    SetControlFont(view, font);
    if (GetWindowTextLengthW(view) != 0) {
        return;
    }
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"x"));
    SendMessageW(view, EM_SETSEL, 0, -1);
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    SetControlFont(view, font);
}

void CWindowsSystemLog::CreateControls(HWND hwnd)
{
    richEditModule = LoadLibraryW(kRichEditLibrary);
    dpi = WindowDpi(hwnd);

    logView = CreateLogView(hwnd, instance, RECT{}, true);
    clearButton = CreateChild(hwnd, instance, L"button", L"Clear", kButtonStyle, IDC_CLEAR);
    saveButton = CreateChild(hwnd, instance, L"button", L"Save", kButtonStyle, IDC_SAVE);
    autoscrollButton = CreateChild(hwnd, instance, L"button", kAutoscrollOffLabel, kButtonStyle,
                                   IDC_AUTOSCROLL);
    ScaleControls();

    // Last: other threads take a set `window` to mean that the controls exist.
    window = hwnd;
}

// The font and the buttons at the window's dpi; on a change of dpi, the old
// font is deleted once no control uses it.
void CWindowsSystemLog::ScaleControls()
{
    const HFONT scaled = CreateLogViewFont(Scaled(kFontHeight), kFontFace);
    if (scaled != nullptr) {
        for (HWND control : {clearButton, saveButton, autoscrollButton}) {
            SetControlFont(control, scaled);
        }
        const HFONT old = font;
        font = scaled;
        UseViewFont();
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
    case IDC_CLEAR: {
        // What arrived before the press goes too, shown or not.
        {
            CScopedLock guard(handOffLock);
            waitingText->Clear();
        }
        // A new, empty view: emptying a long paragraph can take seconds.
        viewText->Clear();
        ReplaceView(0);
        break;
    }
    case IDC_SAVE: SaveWithDialog(hwnd); break;
    case IDC_AUTOSCROLL: ToggleAutoscroll(); break;
    default: break;
    }
}

// The view in `font`, and its face as the view's rich text names it. A view
// with text is made anew in it: setting a font on text makes all of it one
// format, and its parts would join into runs as long as the view.
void CWindowsSystemLog::UseViewFont()
{
    LOGFONTW face = {};
    GetObjectW(font, sizeof face, &face);
    // Our faces are ASCII names; anything else could not be written as one.
    size_t length = 0;
    for (const wchar_t* name = face.lfFaceName; *name != L'\0' && length + 1 < sizeof viewFace;
         ++name) {
        const bool plain = *name >= 0x20 && *name < 0x7F && wcschr(L"\\{};", *name) == nullptr;
        viewFace[length++] = plain ? static_cast<char>(*name) : '_';
    }
    viewFace[length] = '\0';
    viewCharSet = face.lfCharSet;
    if (viewText->Units() == 0) {
        SetLogViewFont(logView, font);
        return;
    }
    ReplaceView(0);
}

void CWindowsSystemLog::ToggleAutoscroll()
{
    autoscroll = !autoscroll;
    SetWindowTextW(autoscrollButton, autoscroll ? kAutoscrollOffLabel : kAutoscrollOnLabel);
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

void CWindowsSystemLog::ReportSaveFailure(const wchar_t* reason, const wchar_t* path)
{
    const std::wstring message = std::wstring(reason) + L"\n\n" + path;
    MessageBoxW(window.load(), message.c_str(), L"Syslog", MB_OK | MB_ICONERROR);
}

using WideText = std::unique_ptr<wchar_t, decltype(&free)>;
using NarrowText = std::unique_ptr<char, decltype(&free)>;

static WideText CopyViewText(HWND view)
{
    const int length = GetWindowTextLengthW(view);
    WideText copy(nullptr, &free);
    if (length <= 0) {
        return copy;
    }
    copy.reset(static_cast<wchar_t*>(malloc((static_cast<size_t>(length) + 1) * sizeof(wchar_t))));
    if (copy != nullptr) {
        // The limit counts the terminating zero, so the whole text fits.
        GetWindowTextW(view, copy.get(), length + 1);
    }
    return copy;
}

// The file is opened only once there are bytes to write, so an empty view
// (or a copy that could not be made) never creates or empties a file.
bool CWindowsSystemLog::SaveToFile(const wchar_t* path)
{
    if (GetWindowTextLengthW(logView) == 0) {
        return true;
    }
    const WideText copy = CopyViewText(logView);
    const NarrowText utf8(copy != nullptr ? Utf16ToUtf8(copy.get()) : nullptr, &free);
    if (utf8 == nullptr) {
        ReportSaveFailure(L"There was not enough memory to save the log.", path);
        return false;
    }
    const size_t length = strlen(utf8.get());
    FILE* file = _wfopen(path, L"wb+");
    if (file == nullptr) {
        ReportSaveFailure(L"The log could not be saved: this file cannot be opened for writing.",
                          path);
        return false;
    }
    const size_t written = fwrite(utf8.get(), 1, length, file);
    // A failing close can mean that buffered bytes never reached the disk.
    const bool closed = fclose(file) == 0;
    if (written != length || !closed) {
        ReportSaveFailure(L"The log could not be saved completely to this file.", path);
        return false;
    }
    return true;
}
