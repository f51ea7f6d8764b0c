// The main window's controls by keyboard, as in a dialog: Tab, the buttons' keys, the focus.
#include "logwindow/control_keys.h"

namespace {

// The dialog manager would send the window the commands IDOK and IDCANCEL
// for Enter and Escape, and this window's controls use those ids for other
// things; a button takes Enter as a press, as a dialog's default one does.
bool PressFocusedButton(HWND window)
{
    const HWND focus = GetFocus();
    if (focus == nullptr || GetParent(focus) != window ||
        (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) ==
            0) {
        return false;
    }
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                 reinterpret_cast<LPARAM>(focus));
    return true;
}

}  // namespace

bool HandleControlKeys(HWND window, MSG* message)
{
    if (window == nullptr || (message->hwnd != window && !IsChild(window, message->hwnd))) {
        return false;
    }
    if (message->message == WM_KEYDOWN) {
        switch (message->wParam) {
        case VK_RETURN:
        case VK_EXECUTE: return PressFocusedButton(window);
        case VK_ESCAPE:
        case VK_CANCEL: return false;
        default: break;
        }
    }
    // It translates and dispatches whatever it does not take itself.
    return IsDialogMessageW(window, message) != FALSE;
}

void MoveControlFocus(HWND window, WPARAM wParam, LPARAM lParam)
{
    HWND next = reinterpret_cast<HWND>(wParam);
    if (LOWORD(lParam) == 0) {
        const HWND focus = GetFocus();
        const bool ours = focus != nullptr && GetParent(focus) == window;
        next = GetNextDlgTabItem(window, ours ? focus : nullptr, wParam != 0);
    }
    if (next != nullptr && GetParent(next) == window) {
        SetFocus(next);
    }
}

int FocusedControlId(HWND window, int kept)
{
    const HWND focus = GetFocus();
    return focus != nullptr && GetParent(focus) == window ? GetDlgCtrlID(focus) : kept;
}

void FocusControl(HWND window, int id)
{
    const HWND control = GetDlgItem(window, id);
    if (control != nullptr && !IsIconic(window) && IsWindowVisible(control) &&
        IsWindowEnabled(control)) {
        SetFocus(control);
    }
}
