// Finds the log window and its controls, in this process or another, and works them as a user would.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

inline constexpr wchar_t kLogWindowClass[] = L"Syslog";
inline constexpr wchar_t kLogWindowTitle[] = L"Syslog";
inline constexpr wchar_t kSaveDialogTitle[] = L"Save Kestrum Log As...";
// Long enough for a loaded machine under Wine; only a hang exceeds it.
inline constexpr DWORD kDriverPatienceMs = 10000;

// Every top-level window of class and title "Syslog", shown or hidden.
std::vector<HWND> FindLogWindows();
// The first such window that is shown, or null after `timeoutMs`.
HWND WaitForVisibleLogWindow(DWORD timeoutMs = kDriverPatienceMs);
// The first such window, shown or hidden, or null after `timeoutMs`.
HWND WaitForLogWindow(DWORD timeoutMs = kDriverPatienceMs);

// The child with this control id whose class matches, without case; null when none.
HWND FindControl(HWND window, int id, const wchar_t* className);
std::wstring ClassNameOf(HWND window);

// The exact text, through WM_GETTEXT: a rich edit control reads a line break
// back as CR LF. Works across processes.
std::wstring ReadText(HWND control);

// Presses a button and returns once its window has handled the press.
bool Click(HWND button);
// Presses a button without waiting, for buttons that open a modal dialog.
bool PostClick(HWND button);

// A top-level dialog ("#32770") with this title, or null after `timeoutMs`.
HWND WaitForDialog(const wchar_t* title, DWORD timeoutMs = kDriverPatienceMs);
// A message box or dialog owned by `owner`, or null after `timeoutMs`.
HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs = kDriverPatienceMs);
// The texts of a dialog's static controls, joined by line breaks.
std::wstring ReadDialogText(HWND dialog);
// Presses the dialog's button with this id (IDOK, IDYES...).
bool PressDialogButton(HWND dialog, int id);

// Types `path` into the save dialog, presses Save, confirms any question the
// dialog asks (replace, create) and waits until the dialog and the save it
// started are done.
bool SaveAs(HWND dialog, const std::wstring& path);

// Returns once `window`'s thread has handled every message sent before; false
// when it did not answer in time (for example inside a hung modal loop).
bool Sync(HWND window);
// Sends WM_CLOSE, as the close box does.
bool Close(HWND window);

}  // namespace testsupport
