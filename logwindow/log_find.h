// Find in the log view: the system's Find dialog, Find Next and F3.
#pragma once

#include "logwindow/log_view.h"

#include <windows.h>
#include <commdlg.h>

#include <cstddef>

class CLogFind {
public:
    CLogFind(HWND owner, CLogView* view);
    ~CLogFind();
    CLogFind(const CLogFind&) = delete;
    CLogFind& operator=(const CLogFind&) = delete;

    // Opens the Find dialog, or brings it to the front when it is open.
    void Open();
    // Closes the dialog, if it is open.
    void Close();
    // The next occurrence of the last search text after the selection (before
    // it, when `down` is false), without the dialog; with nothing searched
    // yet, the dialog. True when it found one.
    bool Next(bool down);
    // The dialog's message (FINDMSGSTRING), with its FINDREPLACEW; true when
    // it was a Find Next that found the text.
    bool OnDialogMessage(LPARAM lParam);
    // For the message loop: true when `message` was the dialog's own.
    bool IsDialogMessageOf(MSG* message) const;
    // The dialog's registered message number.
    UINT DialogMessage() const { return dialogMessage; }

private:
    bool FindAndSelect(bool down, HWND reporter);
    void MoveDialogOffText(size_t found) const;

    HWND owner;
    CLogView* view;
    UINT dialogMessage;
    // What the dialog shows and fills in; it lives as long as the dialog.
    FINDREPLACEW request;
    wchar_t searched[256];
    HWND dialog;
};
