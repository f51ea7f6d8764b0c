// The log view of CWindowsSystemLog: its controls, the buttons, showing text with trimming, saving.
#include "logwindow/log_view.h"

#include "logwindow/view_font.h"
#include "logwindow/windows_system_log.h"
#include "runtime/scoped_lock.h"
#include "runtime/text_conversion.h"

#include <commdlg.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

static constexpr LONG kTrimAbove = static_cast<LONG>(kLogTrimAbove);
static constexpr LONG kKeepAfterTrim = static_cast<LONG>(kLogKeepAfterTrim);
static constexpr LONG kFarthestBreak = static_cast<LONG>(kLogFarthestBreak);
// A step that takes the view past kTrimAbove by no more than this, a
// datagram's text, leaves the trim to the next step, as one append would;
// by more, it trims at once.
static constexpr LONG kMostPastTrim = 1024;
// A rich edit control silently drops text past 32,767 characters unless told
// otherwise; leave ample room above the trim threshold plus one append.
static constexpr LPARAM kLogViewTextLimit = 1 << 20;
static_assert(kLogViewTextLimit > 4 * kTrimAbove, "the text limit must stay clear of trimming");
// How many characters one look for a line break reads at a time.
static constexpr LONG kScanChunk = 1024;
// How many characters one step of a trim deletes (see DeleteOldest).
static constexpr LONG kTrimStep = 1024;

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

// Everything the view needs before its first text: plain text, so that text
// beginning with "{\rtf" is shown as it is; a limit far above the trim
// threshold; lines wrapped at the view's own width.
static void PrepareLogView(HWND view)
{
    // Only an empty control accepts a change of text mode.
    SendMessageW(view, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
    SendMessageW(view, EM_EXLIMITTEXT, 0, kLogViewTextLimit);
    SendMessageW(view, EM_SETTARGETDEVICE, 0, 0);
}

void CWindowsSystemLog::CreateControls(HWND hwnd)
{
    richEditModule = LoadLibraryW(kRichEditLibrary);
    dpi = WindowDpi(hwnd);

    logView = CreateChild(hwnd, instance, kLogViewClass, nullptr, kLogViewStyle, IDC_LOG);
    PrepareLogView(logView);
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
        for (HWND control : {logView, clearButton, saveButton, autoscrollButton}) {
            SetControlFont(control, scaled);
        }
        if (font != nullptr) {
            DeleteObject(font);
        }
        font = scaled;
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
        SetWindowTextW(logView, nullptr);
        break;
    }
    case IDC_SAVE: SaveWithDialog(hwnd); break;
    case IDC_AUTOSCROLL: ToggleAutoscroll(); break;
    default: break;
    }
}

void CWindowsSystemLog::ToggleAutoscroll()
{
    autoscroll = !autoscroll;
    SetWindowTextW(autoscrollButton, autoscroll ? kAutoscrollOffLabel : kAutoscrollOnLabel);
}

// The number of characters in the view, counting a line break as one: the
// unit of every selection, unlike WM_GETTEXTLENGTH, which counts it as two.
static LONG TextEnd(HWND view)
{
    GETTEXTLENGTHEX query = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(SendMessageW(view, EM_GETTEXTLENGTHEX,
                                          reinterpret_cast<WPARAM>(&query), 0));
}

static void DeleteRange(HWND view, LONG start, LONG end)
{
    SendMessageW(view, EM_SETSEL, start, end);
    // wParam FALSE: the deletion cannot be undone, so no undo copy is kept.
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

static bool IsLineBreak(wchar_t unit)
{
    return unit == L'\r' || unit == L'\n';
}

static bool IsLowSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The position of the first line break in the text from `from` up to `end`,
// or -1 when there is none. Lines that the view merely wraps do not count.
static LONG FindLineBreak(HWND view, LONG from, LONG end)
{
    wchar_t chunk[kScanChunk + 1];
    for (LONG start = from; start < end; start += kScanChunk) {
        TEXTRANGEW range = {{start, std::min(end, start + kScanChunk)}, chunk};
        const LONG copied = static_cast<LONG>(
            SendMessageW(view, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)));
        if (copied <= 0) {
            break;
        }
        const wchar_t* found = std::find_if(chunk, chunk + copied, IsLineBreak);
        if (found != chunk + copied) {
            return start + static_cast<LONG>(found - chunk);
        }
    }
    return -1;
}

// Where a cut that begins at `cut` of `text` (`units` long) ends: just past
// the first line break within kLogFarthestBreak units (a CR LF counts as
// one), so that what stays starts with a whole line. Without one, at `cut`
// itself, moved past the second half of a surrogate pair: a single far break
// must not cut far below what is kept.
static size_t CutEnd(const wchar_t* text, size_t units, size_t cut)
{
    const size_t end = std::min(units, cut + kLogFarthestBreak);
    for (size_t i = cut; i < end; ++i) {
        if (IsLineBreak(text[i])) {
            return text[i] == L'\r' && i + 1 < units && text[i + 1] == L'\n' ? i + 2 : i + 1;
        }
    }
    return cut < units && IsLowSurrogate(text[cut]) ? cut + 1 : cut;
}

// Where a trim of the view that begins its cut at `cut` ends, by the same
// rule; it reads only the characters that the rule looks at.
static LONG TrimEnd(HWND view, LONG cut, LONG end)
{
    wchar_t chunk[kFarthestBreak + 1] = {};
    TEXTRANGEW range = {{cut, std::min(end, cut + kFarthestBreak)}, chunk};
    const LONG copied = cut < end ? static_cast<LONG>(SendMessageW(
                                        view, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)))
                                  : 0;
    return cut + static_cast<LONG>(CutEnd(chunk, static_cast<size_t>(std::max(0L, copied)), 0));
}

size_t ShownPartStart(const wchar_t* text, size_t units)
{
    return units <= kLogKeepAfterTrim ? 0 : CutEnd(text, units, units - kLogKeepAfterTrim);
}

// Deletes the text before `cut`. Some rich edit controls (Wine's among them)
// delete a range line by line, each time walking from the start of the text
// to the end of the range, so one large cut costs the square of its line
// count; cut it in steps of about kTrimStep characters instead, each ending
// just past a line break, with the same result. A step never ends inside a
// line: the control lays out a line again each time a piece of it goes.
// The view is not painted between steps.
static void DeleteOldest(HWND view, LONG cut)
{
    const LONG keep = TextEnd(view) - cut;
    for (LONG left = cut; left > 0;) {
        LONG step = left;
        if (left > kTrimStep) {
            const LONG lineBreak = FindLineBreak(view, kTrimStep, left);
            step = lineBreak >= 0 ? lineBreak + 1 : left;
        }
        DeleteRange(view, 0, step);
        const LONG stillLeft = TextEnd(view) - keep;
        if (stillLeft >= left) {
            return;  // the control deleted nothing: stop rather than spin
        }
        left = stillLeft;
    }
}

// Empties a view of `end` characters. Piece by piece from the end: Wine's
// control moves every later line for each line it deletes, so this costs
// a third of deleting everything at once (35 ms against 95 ms for a full
// view of short lines).
static void DeleteAll(HWND view, LONG end)
{
    for (; end > 0; end = std::max(0L, end - kTrimStep)) {
        DeleteRange(view, std::max(0L, end - kTrimStep), end);
    }
}

// Holds off the view's painting for one step and repaints it once after.
// Otherwise each part (trim, insert, scroll) repaints and updates the scroll
// bar on its own: about 17 ms per append at 60,000 characters under Wine,
// against 2-5 ms this way.
class CPaintPause {
public:
    explicit CPaintPause(HWND paused) : view(paused) { SendMessageW(view, WM_SETREDRAW, FALSE, 0); }
    ~CPaintPause()
    {
        SendMessageW(view, WM_SETREDRAW, TRUE, 0);
        // The frame too: the scroll bar changed while painting was off, and
        // Wine leaves it unpainted (the view shows no scroll bar) otherwise.
        RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
    CPaintPause(const CPaintPause&) = delete;
    CPaintPause& operator=(const CPaintPause&) = delete;

private:
    HWND view;
};

static void InsertAtEnd(HWND view, const wchar_t* text)
{
    const LONG end = TextEnd(view);
    SendMessageW(view, EM_SETSEL, end, end);
    // wParam FALSE: not undoable, so no undo copy is kept.
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// The first character of the line at the top of the view. Lines and
// characters, not pixels: the view's pixel scroll positions are 16-bit and
// overflow in a long view.
static LONG TopCharacter(HWND view)
{
    const LRESULT line = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    return static_cast<LONG>(SendMessageW(view, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
}

static void ScrollToTop(HWND view, LONG character)
{
    const LRESULT wanted = SendMessageW(view, EM_EXLINEFROMCHAR, 0, character);
    const LRESULT shown = SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (wanted != shown) {
        SendMessageW(view, EM_LINESCROLL, 0, wanted - shown);
    }
}

// The view afterwards holds what showing the texts one by one, each with its
// trim, would leave, give or take a line: the newest text, in order, from a
// whole line on. Whatever the amount, it costs one insertion and at most one
// trim, so the view never falls behind.
void CWindowsSystemLog::ShowText(const CLogWaitingText& text)
{
    CPaintPause pause(logView);
    // Every insertion scrolls the caret into view; while autoscroll is off
    // the reader's line stays at the top, until it is itself trimmed away.
    const LONG top = autoscroll ? 0 : TopCharacter(logView);
    LONG removed = 0;
    if (text.Dropped() || text.Units() >= kLogKeepAfterTrim) {
        // The waiting text alone fills what a trim keeps: the whole view
        // would be trimmed away, and the older waiting text with it.
        removed = TextEnd(logView);
        DeleteAll(logView, removed);
        InsertAtEnd(logView, text.Text() + ShownPartStart(text.Text(), text.Units()));
    } else {
        const LONG before = TextEnd(logView);
        InsertAtEnd(logView, text.Text());
        const LONG after = TextEnd(logView);
        // Cut where a trim before the insertion would have, or, when many
        // texts came at once, where it would leave the view.
        if (before > kTrimAbove) {
            removed = TrimEnd(logView, before - kKeepAfterTrim, after);
        } else if (after > kTrimAbove + kMostPastTrim) {
            removed = TrimEnd(logView, after - kKeepAfterTrim, after);
        }
        DeleteOldest(logView, removed);
    }
    if (autoscroll) {
        SendMessageW(logView, WM_VSCROLL, SB_BOTTOM, 0);
        SendMessageW(logView, EM_SCROLLCARET, 0, 0);
    } else {
        ScrollToTop(logView, top >= removed ? top - removed : 0);
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
