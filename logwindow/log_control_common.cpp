// What both log controls need from the rich edit: making one, streaming text in, counting and reading it back.
#include "logwindow/log_control_common.h"

#include "logwindow/accessible_name.h"
#include "logwindow/log_view_rule.h"
#include "logwindow/window_calls.h"
#include "logwindow/window_numbers.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr wchar_t kLogViewClass[] = L"RICHEDIT50W";
constexpr DWORD kLogViewStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_READONLY | ES_MULTILINE;
static_assert(kLogViewStyle == 0x50210804, "log view style changed");
// A rich edit control silently drops text past 32,767 characters unless told
// otherwise; leave ample room above the most a view holds.
constexpr LPARAM kTextLimit = 1 << 20;
static_assert(kTextLimit > 4 * kLogMostShown, "the text limit must stay clear of trimming");
// Nothing the view shows can be undone, so it keeps no copies for undoing.
constexpr WPARAM kNoUndo = 0;
constexpr UINT kUtf16CodePage = 1200;

// Where the control keeps its own procedure while it is watched.
constexpr wchar_t kProcedureProperty[] = L"SyslogLogViewProcedure";

// What screen readers call the view, which has no caption of its own.
constexpr wchar_t kAccessibleName[] = L"Log";

// The keys the read-only view needs: arrows and characters. Tab, Enter and
// Escape go to the window, which moves the focus among its controls. The
// control is not asked: a rich edit asked by a dialog manager takes Escape
// to mean "close the parent" (Wine posts the parent WM_CLOSE, which would
// end the program).
constexpr LRESULT kViewKeys = DLGC_WANTARROWS | DLGC_WANTCHARS;

// Watches the control for the end of a drag: while the mouse is captured,
// the view's steps wait, and its release shows what waited at once. Also
// answers for the view's keys, and takes its name off when it goes.
LRESULT CALLBACK WatchingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kProcedureProperty));
    if (message == WM_GETDLGCODE) {
        return kViewKeys;
    }
    if (message == WM_NCDESTROY) {
        ClearAccessibleName(hwnd);
        RemovePropW(hwnd, kProcedureProperty);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    const LRESULT result = CallWindowProcW(original, hwnd, message, wParam, lParam);
    if (message == WM_CAPTURECHANGED) {
        // Posted: the control is still inside its own handling of the release.
        PostLogWake(GetParent(hwnd));
    }
    return result;
}

void Watch(HWND control)
{
    const auto own = reinterpret_cast<LONG_PTR>(&WatchingProc);
    SetPropW(control, kProcedureProperty,
             reinterpret_cast<HANDLE>(SetWindowLongPtrW(control, GWLP_WNDPROC, own)));
}

// The bytes of one insertion, read by the control through EDITSTREAM.
struct StreamSource {
    const BYTE* data;
    size_t size;
    size_t at;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG room, LONG* read)
{
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    const size_t taken = std::min(source->size - source->at, static_cast<size_t>(room));
    memcpy(buffer, source->data + source->at, taken);
    source->at += taken;
    *read = static_cast<LONG>(taken);
    return 0;
}

}  // namespace

void DestroyControl(HWND& control)
{
    if (IsWindow(control)) {
        DestroyWindow(control);
    }
    control = nullptr;
}

// Made at `bounds` so that its first text is laid out once, at the width it
// is shown at.
HWND MakeLogRichEdit(HWND parent, HINSTANCE instance, const RECT& bounds, bool shown,
                     WPARAM textMode)
{
    const HWND control = CreateWindowExW(
        0, kLogViewClass, nullptr, shown ? kLogViewStyle : kLogViewStyle & ~WS_VISIBLE,
        bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOG)), instance, nullptr);
    if (control == nullptr) {
        return nullptr;
    }
    // Only an empty control accepts a change of text mode.
    SendMessageW(control, EM_SETTEXTMODE, textMode, 0);
    SendMessageW(control, EM_SETUNDOLIMIT, kNoUndo, 0);
    SendMessageW(control, EM_EXLIMITTEXT, 0, kTextLimit);
    SendMessageW(control, EM_SETTARGETDEVICE, 0, 0);
    // The selection stays shown while another window has the focus: the
    // text the Find dialog found, or what the reader selected before
    // pressing a button.
    SendMessageW(control, EM_SETOPTIONS, ECOOP_OR, ECO_NOHIDESEL);
    // Every control made gets it: under Wine some trims make a new one.
    // Where the system takes no such name, the view goes without.
    SetAccessibleName(control, kAccessibleName);
    Watch(control);
    return control;
}

bool StreamIntoSelection(HWND control, WPARAM format, const void* data, size_t size)
{
    StreamSource source = {static_cast<const BYTE*>(data), size, 0};
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, &ReadStream};
    SendMessageW(control, EM_STREAMIN, format | SFF_SELECTION, reinterpret_cast<LPARAM>(&stream));
    return stream.dwError == 0 && source.at == size;
}

void DeleteFront(HWND control, size_t count)
{
    SendMessageW(control, EM_SETSEL, 0, static_cast<LPARAM>(count));
    // wParam FALSE: the deletion cannot be undone, so no undo copy is kept.
    SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

size_t ControlUnits(HWND control)
{
    GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, kUtf16CodePage};
    const LRESULT units =
        SendMessageW(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0);
    return units > 0 ? static_cast<size_t>(units) : 0;
}

bool ReadControlText(HWND control, CLogText& into)
{
    const size_t units = ControlUnits(control);
    into.Clear();
    if (units == 0) {
        return true;
    }
    if (!into.Reserve(units + 1)) {
        return false;
    }
    std::wstring read(units + 1, L'\0');
    GETTEXTEX how = {static_cast<DWORD>(read.size() * sizeof(wchar_t)), GT_DEFAULT, kUtf16CodePage,
                     nullptr, nullptr};
    const LRESULT copied = SendMessageW(control, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how),
                                        reinterpret_cast<LPARAM>(read.data()));
    return into.AppendWithLineBreaks(read.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

CPaintPause::CPaintPause(HWND paused) : control(paused)
{
    SendMessageW(control, WM_SETREDRAW, FALSE, 0);
}

CPaintPause::~CPaintPause()
{
    SendMessageW(control, WM_SETREDRAW, TRUE, 0);
    // The frame too: the scroll bar changed while painting was off, and Wine
    // leaves it unpainted otherwise.
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
}
