// Find in the log view: the system's Find dialog, Find Next and F3.
#include "logwindow/log_find.h"

#include "logwindow/find_placement.h"
#include "logwindow/log_search.h"

#include <richedit.h>

#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kCaption[] = L"Syslog";
// A line's height when the line after the found text cannot tell it.
constexpr LONG kLineGuess = 16;

}  // namespace

CLogFind::CLogFind(HWND window, CLogView* logView)
    : owner(window),
      view(logView),
      dialogMessage(RegisterWindowMessageW(FINDMSGSTRINGW)),
      request{},
      searched{},
      dialog(nullptr)
{
    request.lStructSize = sizeof(request);
    request.hwndOwner = owner;
    request.Flags = FR_DOWN;
    request.lpstrFindWhat = searched;
    request.wFindWhatLen = sizeof searched / sizeof searched[0];
}

CLogFind::~CLogFind()
{
    Close();
}

void CLogFind::Close()
{
    if (IsWindow(dialog)) {
        DestroyWindow(dialog);
    }
    dialog = nullptr;
}

void CLogFind::Open()
{
    if (IsWindow(dialog)) {
        SetActiveWindow(dialog);
        return;
    }
    dialog = FindTextW(&request);
}

bool CLogFind::Next(bool down)
{
    if (searched[0] == L'\0') {
        Open();
        return false;
    }
    return FindAndSelect(down, owner);
}

bool CLogFind::IsDialogMessageOf(MSG* message) const
{
    return dialog != nullptr && IsDialogMessageW(dialog, message);
}

bool CLogFind::OnDialogMessage(LPARAM lParam)
{
    const auto* asked = reinterpret_cast<const FINDREPLACEW*>(lParam);
    if (asked == nullptr) {
        return false;
    }
    if ((asked->Flags & FR_DIALOGTERM) != 0) {
        dialog = nullptr;
        return false;
    }
    if ((asked->Flags & FR_FINDNEXT) == 0) {
        return false;
    }
    return FindAndSelect((asked->Flags & FR_DOWN) != 0, dialog != nullptr ? dialog : owner);
}

// From the selection's end down, or its start up, so that the text found
// last is never found again; a miss leaves the selection as it was.
bool CLogFind::FindAndSelect(bool down, HWND reporter)
{
    const HWND control = view->Control();
    CHARRANGE selection = {};
    SendMessageW(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    const LogSearch search = {searched, wcslen(searched), (request.Flags & FR_MATCHCASE) != 0,
                              (request.Flags & FR_WHOLEWORD) != 0, down};
    const CLogText& text = view->Text();
    size_t found = 0;
    const auto from = static_cast<size_t>(down ? selection.cpMax : selection.cpMin);
    if (!FindInLogText(text.Text(), text.Units(), from, search, &found)) {
        const std::wstring message = std::wstring(L"Cannot find \"") + searched + L"\".";
        MessageBoxW(reporter, message.c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    view->Select(found, found + search.patternUnits);
    MoveDialogOffText(found);
    return true;
}

// The dialog is moved off the text it found, below it or, with no room
// there, above it, within the work area of the monitor it is on.
void CLogFind::MoveDialogOffText(size_t found) const
{
    if (!IsWindow(dialog)) {
        return;
    }
    const HWND control = view->Control();
    POINTL at = {};
    SendMessageW(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), static_cast<LPARAM>(found));
    const LRESULT line = SendMessageW(control, EM_EXLINEFROMCHAR, 0, static_cast<LPARAM>(found));
    POINTL below = {};
    const LRESULT next = SendMessageW(control, EM_LINEINDEX, static_cast<WPARAM>(line + 1), 0);
    SendMessageW(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&below), next);
    POINT top = {at.x, at.y};
    POINT bottom = {at.x, next >= 0 && below.y > at.y ? below.y : at.y + kLineGuess};
    ClientToScreen(control, &top);
    ClientToScreen(control, &bottom);
    // The found text's row, as wide as the view.
    RECT shown = {};
    GetWindowRect(control, &shown);
    const RECT row = {shown.left, top.y, shown.right, bottom.y};
    RECT frame = {};
    GetWindowRect(dialog, &frame);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    const RECT placed = PlaceFindDialog(row, frame, monitor.rcWork);
    if (placed.left != frame.left || placed.top != frame.top) {
        SetWindowPos(dialog, nullptr, placed.left, placed.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}
