// The log view's right-click menu: Copy, Select All and Find.
#include "logwindow/log_view_menu.h"

#include "logwindow/window_numbers.h"

#include <richedit.h>
#include <windowsx.h>

#include <algorithm>

namespace {

// Where WM_CONTEXTMENU says the keyboard asked for the menu.
constexpr int kFromKeyboard = -1;

// At the caret, the selection's end, kept inside the view when it is
// scrolled out of it.
POINT CaretPoint(HWND view)
{
    CHARRANGE selection = {};
    SendMessageW(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    POINTL at = {};
    SendMessageW(view, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), selection.cpMax);
    RECT client = {};
    GetClientRect(view, &client);
    POINT point = {std::clamp(at.x, client.left, client.right),
                   std::clamp(at.y, client.top, client.bottom)};
    ClientToScreen(view, &point);
    return point;
}

}  // namespace

int TrackLogViewMenu(HWND owner, HWND view, LPARAM where)
{
    const HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return 0;
    }
    CHARRANGE selection = {};
    SendMessageW(view, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    const UINT copyState = selection.cpMin == selection.cpMax ? MF_GRAYED : MF_ENABLED;
    AppendMenuW(menu, MF_STRING | copyState, IDM_COPY, L"&Copy\tCtrl+C");
    AppendMenuW(menu, MF_STRING, IDM_SELECT_ALL, L"Select &All\tCtrl+A");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_FIND, L"&Find...\tCtrl+F");
    const POINT pointer = {GET_X_LPARAM(where), GET_Y_LPARAM(where)};
    const POINT point =
        pointer.x == kFromKeyboard && pointer.y == kFromKeyboard ? CaretPoint(view) : pointer;
    const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                      point.x, point.y, 0, owner, nullptr);
    DestroyMenu(menu);
    return chosen;
}
