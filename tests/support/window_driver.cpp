// Finds the log window and its controls, in this process or another, and works them as a user would.
#include "tests/support/window_driver.h"

#include "tests/support/wait_until.h"

#include <cwctype>

namespace testsupport {

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
// The file name box of the save dialog: a combo box in the Explorer-style
// dialog, a plain edit in the older one.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;

bool SameWithoutCase(const std::wstring& left, const wchar_t* right)
{
    const std::wstring other(right);
    if (left.size() != other.size()) {
        return false;
    }
    for (size_t i = 0; i < left.size(); ++i) {
        if (std::towlower(left[i]) != std::towlower(other[i])) {
            return false;
        }
    }
    return true;
}

// The title without sending a message, so a busy window thread cannot stall us.
std::wstring TitleOf(HWND window)
{
    wchar_t title[256] = {};
    InternalGetWindowText(window, title, 256);
    return title;
}

template <typename Match>
struct Search {
    Match match;
    std::vector<HWND> found;
};

// A named WINAPI function: 32-bit Windows calls it with stdcall, which a
// lambda cannot offer.
template <typename Match>
BOOL CALLBACK CollectMatching(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search<Match>*>(parameter);
    if (search->match(window)) {
        search->found.push_back(window);
    }
    return TRUE;
}

template <typename Match>
std::vector<HWND> TopLevelWindows(Match match)
{
    Search<Match> search{match, {}};
    EnumWindows(&CollectMatching<Match>, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsLogWindow(HWND window)
{
    return SameWithoutCase(ClassNameOf(window), kLogWindowClass) &&
           TitleOf(window) == kLogWindowTitle;
}

bool IsDialog(HWND window)
{
    return SameWithoutCase(ClassNameOf(window), kDialogClass) && IsWindowVisible(window);
}

HWND WaitForFirst(const std::function<HWND()>& find, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = find()) != nullptr; }, timeoutMs);
    return found;
}

bool SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result)
{
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kDriverPatienceMs,
                               result) != 0;
}

HWND FileNameBox(HWND dialog)
{
    const HWND combo = GetDlgItem(dialog, kFileNameCombo);
    if (combo != nullptr) {
        const HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr);
        return edit != nullptr ? edit : combo;
    }
    return GetDlgItem(dialog, kFileNameEdit);
}

// Answers a question the dialog asks in a box of its own (replace? create?):
// yes, or OK. Each box is answered once.
void AnswerQuestion(HWND dialog, HWND& answered)
{
    const HWND question = WaitForOwnedDialog(dialog, 0);
    if (question == nullptr || question == answered) {
        return;
    }
    answered = question;
    if (!PressDialogButton(question, IDYES)) {
        PressDialogButton(question, IDOK);
    }
}

}  // namespace

std::wstring ClassNameOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::vector<HWND> FindLogWindows()
{
    return TopLevelWindows(&IsLogWindow);
}

HWND WaitForVisibleLogWindow(DWORD timeoutMs)
{
    return WaitForFirst(
        [] {
            for (HWND window : FindLogWindows()) {
                if (IsWindowVisible(window)) {
                    return window;
                }
            }
            return HWND{};
        },
        timeoutMs);
}

HWND WaitForLogWindow(DWORD timeoutMs)
{
    return WaitForFirst(
        [] {
            const std::vector<HWND> windows = FindLogWindows();
            return windows.empty() ? HWND{} : windows.front();
        },
        timeoutMs);
}

HWND FindControl(HWND window, int id, const wchar_t* className)
{
    const HWND control = GetDlgItem(window, id);
    if (control == nullptr || !SameWithoutCase(ClassNameOf(control), className)) {
        return nullptr;
    }
    return control;
}

std::wstring ReadText(HWND control)
{
    DWORD_PTR length = 0;
    if (!SendWithin(control, WM_GETTEXTLENGTH, 0, 0, &length)) {
        return {};
    }
    // WM_GETTEXTLENGTH may overstate, never understate; keep what was copied.
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendWithin(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                    &copied)) {
        return {};
    }
    text.resize(copied);
    return text;
}

bool Click(HWND button)
{
    DWORD_PTR ignored = 0;
    return button != nullptr && SendWithin(button, BM_CLICK, 0, 0, &ignored);
}

bool PostClick(HWND button)
{
    return button != nullptr && PostMessageW(button, BM_CLICK, 0, 0) != 0;
}

HWND WaitForDialog(const wchar_t* title, DWORD timeoutMs)
{
    return WaitForFirst(
        [title] {
            const std::vector<HWND> dialogs = TopLevelWindows(
                [title](HWND window) { return IsDialog(window) && TitleOf(window) == title; });
            return dialogs.empty() ? HWND{} : dialogs.front();
        },
        timeoutMs);
}

HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs)
{
    return WaitForFirst(
        [owner] {
            const std::vector<HWND> dialogs = TopLevelWindows([owner](HWND window) {
                return IsDialog(window) && GetWindow(window, GW_OWNER) == owner;
            });
            return dialogs.empty() ? HWND{} : dialogs.front();
        },
        timeoutMs);
}

std::wstring ReadDialogText(HWND dialog)
{
    auto isStatic = [](HWND child) { return SameWithoutCase(ClassNameOf(child), L"Static"); };
    Search<decltype(isStatic)> search{isStatic, {}};
    EnumChildWindows(dialog, &CollectMatching<decltype(isStatic)>,
                     reinterpret_cast<LPARAM>(&search));
    std::wstring text;
    for (HWND child : search.found) {
        const std::wstring part = ReadText(child);
        if (part.empty()) {
            continue;
        }
        if (!text.empty()) {
            text += L"\n";
        }
        text += part;
    }
    return text;
}

bool PressDialogButton(HWND dialog, int id)
{
    // Posted: the press may open a further modal box.
    return PostClick(GetDlgItem(dialog, id));
}

bool SaveAs(HWND dialog, const std::wstring& path)
{
    const HWND owner = GetWindow(dialog, GW_OWNER);
    const HWND box = FileNameBox(dialog);
    DWORD_PTR ignored = 0;
    if (box == nullptr ||
        !SendWithin(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), &ignored) ||
        !PressDialogButton(dialog, IDOK)) {
        return false;
    }
    HWND answered = nullptr;
    const bool closed = WaitUntil([dialog, &answered] {
        if (!IsWindow(dialog)) {
            return true;
        }
        AnswerQuestion(dialog, answered);
        return false;
    });
    return closed && (owner == nullptr || Sync(owner));
}

bool Sync(HWND window)
{
    DWORD_PTR ignored = 0;
    return SendWithin(window, WM_NULL, 0, 0, &ignored);
}

bool Close(HWND window)
{
    DWORD_PTR ignored = 0;
    return window != nullptr && SendWithin(window, WM_CLOSE, 0, 0, &ignored);
}

}  // namespace testsupport
