// Console driver of a running log window, for end-to-end tests written in other languages.
//
//   wait <ms>                     exit 0 once the window exists and is shown
//   text <file>                   write the view's exact text to file as UTF-16LE
//   click clear|save|autoscroll   press a button (save only opens the dialog)
//   label                         print the autoscroll button's text as UTF-8
//   save <path>                   save through the dialog, opening it if needed
//   dialog <ms>                   exit 0 once the save dialog is open
//   cancel                        cancel the open save dialog, waiting until it is gone
//   close                         close the window as the close box does
//   count                         print how many "Syslog" windows exist
//   follow <file> <seconds>       record every numbered text that passes through
//                                 the view (see view_follower.h); ends early when
//                                 <file>.stop exists
//
// Anything not found in time: a message on stderr and exit code 1.
#include "logwindow/windows_system_log.h"
#include "tests/support/view_follower.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using namespace testsupport;

constexpr int kFailed = 1;

void WriteBytes(DWORD stream, const std::string& bytes)
{
    // WriteFile, not printf: Wine's console runtime would turn \n into CR LF.
    DWORD written = 0;
    WriteFile(GetStdHandle(stream), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

int Fail(const std::wstring& message)
{
    WriteBytes(STD_ERROR_HANDLE, "log_window_driver: " + ToUtf8(message) + "\n");
    return kFailed;
}

HWND Button(HWND window, const std::wstring& name)
{
    if (name == L"clear") {
        return FindControl(window, IDC_CLEAR, L"Button");
    }
    if (name == L"save") {
        return FindControl(window, IDC_SAVE, L"Button");
    }
    if (name == L"autoscroll") {
        return FindControl(window, IDC_AUTOSCROLL, L"Button");
    }
    return nullptr;
}

int WriteViewText(HWND window, const wchar_t* path)
{
    const HWND view = FindControl(window, IDC_LOG, L"RichEdit50W");
    if (view == nullptr) {
        return Fail(L"no log view");
    }
    const std::wstring text = ReadText(view);
    FILE* file = _wfopen(path, L"wb");
    if (file == nullptr) {
        return Fail(std::wstring(L"cannot open ") + path);
    }
    const size_t bytes = text.size() * sizeof(wchar_t);
    const bool written = fwrite(text.data(), 1, bytes, file) == bytes;
    return fclose(file) == 0 && written ? 0 : Fail(std::wstring(L"cannot write ") + path);
}

int Save(HWND window, const wchar_t* path)
{
    HWND dialog = WaitForDialog(kSaveDialogTitle, 0);
    if (dialog == nullptr) {
        if (!PostClick(Button(window, L"save"))) {
            return Fail(L"no Save button");
        }
        dialog = WaitForDialog(kSaveDialogTitle);
    }
    if (dialog == nullptr) {
        return Fail(L"the save dialog did not open");
    }
    return SaveAs(dialog, path) ? 0 : Fail(L"the save dialog did not finish");
}

int Cancel(HWND window)
{
    const HWND dialog = WaitForDialog(kSaveDialogTitle, 0);
    if (dialog == nullptr) {
        return Fail(L"no save dialog");
    }
    if (!PressDialogButton(dialog, IDCANCEL) ||
        !WaitUntil([dialog] { return !IsWindow(dialog); }, kDriverPatienceMs) || !Sync(window)) {
        return Fail(L"the save dialog did not close");
    }
    return 0;
}

int Follow(HWND window, const wchar_t* path, const wchar_t* seconds)
{
    const HWND view = FindControl(window, IDC_LOG, L"RichEdit50W");
    if (view == nullptr) {
        return Fail(L"no log view");
    }
    const double limit = seconds != nullptr ? wcstod(seconds, nullptr) : 0.0;
    return FollowView(view, path, limit) ? 0 : Fail(std::wstring(L"cannot write ") + path);
}

int Run(const std::wstring& command, const wchar_t* argument, const wchar_t* extra)
{
    if (command == L"count") {
        WriteBytes(STD_OUTPUT_HANDLE, std::to_string(FindLogWindows().size()) + "\n");
        return 0;
    }
    if (command == L"wait") {
        const DWORD timeoutMs = argument != nullptr ? wcstoul(argument, nullptr, 10) : 0;
        return WaitForVisibleLogWindow(timeoutMs) != nullptr ? 0 : Fail(L"no visible window");
    }
    const HWND window = WaitForLogWindow();
    if (window == nullptr) {
        return Fail(L"no Syslog window");
    }
    if (command == L"text" && argument != nullptr) {
        return WriteViewText(window, argument);
    }
    if (command == L"click" && argument != nullptr) {
        const HWND button = Button(window, argument);
        if (button == nullptr) {
            return Fail(std::wstring(L"no button ") + argument);
        }
        // Save opens a modal dialog: waiting for the press would wait for the dialog.
        const bool pressed = std::wstring(argument) == L"save" ? PostClick(button) : Click(button);
        return pressed ? 0 : Fail(L"the button did not answer");
    }
    if (command == L"label") {
        const HWND button = Button(window, L"autoscroll");
        if (button == nullptr) {
            return Fail(L"no autoscroll button");
        }
        WriteBytes(STD_OUTPUT_HANDLE, ToUtf8(ReadText(button)) + "\n");
        return 0;
    }
    if (command == L"save" && argument != nullptr) {
        return Save(window, argument);
    }
    if (command == L"dialog") {
        const DWORD timeoutMs = argument != nullptr ? wcstoul(argument, nullptr, 10) : 0;
        return WaitForDialog(kSaveDialogTitle, timeoutMs) != nullptr ? 0
                                                                     : Fail(L"no save dialog");
    }
    if (command == L"cancel") {
        return Cancel(window);
    }
    if (command == L"follow" && argument != nullptr) {
        return Follow(window, argument, extra);
    }
    if (command == L"close") {
        return Close(window) ? 0 : Fail(L"the window did not answer");
    }
    return Fail(L"usage: log_window_driver wait <ms> | text <file> | "
                L"click clear|save|autoscroll | label | save <path> | dialog <ms> | cancel | "
                L"close | count | "
                L"follow <file> <seconds>");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        return Run(L"", nullptr, nullptr);
    }
    return Run(argv[1], argc > 2 ? argv[2] : nullptr, argc > 3 ? argv[3] : nullptr);
}
