// Console driver of a running log window, for end-to-end tests written in other languages.
//
//   wait <ms>                     exit 0 once the window exists and is shown
//   text <file>                   write the view's exact text to file as UTF-16LE
//   click clear|save|autoscroll   press a button (save only opens the dialog)
//   label                         print the autoscroll button's text as UTF-8
//   save <path>                   save through the dialog, opening it if needed
//   close                         close the window as the close box does
//   count                         print how many "Syslog" windows exist
//   press <button> <times>        press a button again and again, 100 ms apart,
//                                 and print how long each press took, in ms
//   dialog wait|cancel            wait until the save dialog is open; cancel it
//                                 and wait until it has closed
//   watch <file> <number> <s>     record when the view's last numbered text
//                                 changes, until it is <number> (see
//                                 view_watcher.h); ends early when <file>.stop
//                                 exists
//   controls <file> <seconds> [ms]
//                                 note each log view control the window
//                                 makes, looking every 10 ms or every [ms]
//                                 (see view_watcher.h); ends early when
//                                 <file>.stop exists
//   respond <file> <seconds> [ms] [limit]
//                                 ask the window again and again (every 5 ms,
//                                 or every [ms]) whether it answers within a
//                                 second (or [limit] ms); ends early when
//                                 <file>.stop exists, then writes to file
//                                 "<asked> <unanswered> <slowest ms> <median ms>"
//
// Anything not found in time: a message on stderr and exit code 1.
#include "logwindow/window_numbers.h"
#include "tests/support/view_watcher.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using namespace testsupport;

constexpr int kFailed = 1;
constexpr DWORD kPressPauseMs = 100;
constexpr double kMsPerSecond = 1000.0;

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

int Watch(HWND window, const wchar_t* path, const wchar_t* target, const wchar_t* seconds)
{
    if (FindControl(window, IDC_LOG, L"RichEdit50W") == nullptr) {
        return Fail(L"no log view");
    }
    const unsigned number = target != nullptr ? wcstoul(target, nullptr, 10) : 0;
    const double limit = seconds != nullptr ? wcstod(seconds, nullptr) : 0.0;
    return WatchView(window, path, number, limit) ? 0 : Fail(L"the last text was not shown in time");
}

// Often enough to see a control that lives for one step and its pause.
constexpr DWORD kControlLookPauseMs = 10;

int WatchViewControls(HWND window, const wchar_t* path, const wchar_t* seconds,
                      const wchar_t* pauseMs)
{
    const double limit = seconds != nullptr ? wcstod(seconds, nullptr) : 0.0;
    const DWORD pause = pauseMs != nullptr ? wcstoul(pauseMs, nullptr, 10) : kControlLookPauseMs;
    return WatchControls(window, path, limit, pause) ? 0
                                                     : Fail(std::wstring(L"cannot write ") + path);
}

double MillisecondsSince(const LARGE_INTEGER& start, const LARGE_INTEGER& frequency)
{
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) * kMsPerSecond /
           static_cast<double>(frequency.QuadPart);
}

// Each press waits until the window has handled it, as a user's click would.
int Press(HWND button, const wchar_t* times)
{
    const unsigned count = times != nullptr ? wcstoul(times, nullptr, 10) : 1;
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    for (unsigned press = 0; press < count; ++press) {
        if (press > 0) {
            Sleep(kPressPauseMs);
        }
        LARGE_INTEGER start{};
        QueryPerformanceCounter(&start);
        if (!Click(button)) {
            return Fail(L"the button did not answer");
        }
        char line[32];
        snprintf(line, sizeof line, "%.1f\n", MillisecondsSince(start, frequency));
        WriteBytes(STD_OUTPUT_HANDLE, line);
    }
    return 0;
}

int Dialog(const std::wstring& action)
{
    const HWND dialog = WaitForDialog(kSaveDialogTitle);
    if (dialog == nullptr) {
        return Fail(L"the save dialog is not open");
    }
    if (action == L"wait") {
        return 0;
    }
    if (action != L"cancel" || !PressDialogButton(dialog, IDCANCEL)) {
        return Fail(L"usage: dialog wait|cancel");
    }
    const bool closed = WaitUntil([dialog] { return !IsWindow(dialog); });
    return closed ? 0 : Fail(L"the save dialog did not close");
}

// How long the window may take to answer before it counts as frozen.
constexpr DWORD kAnswerLimitMs = 1000;
// The pause between two questions, unless the caller gives one.
constexpr DWORD kAskPauseMs = 5;

int Respond(HWND window, const wchar_t* path, const wchar_t* seconds, const wchar_t* pauseMs,
            const wchar_t* limitMs)
{
    const std::wstring stopPath = std::wstring(path) + L".stop";
    const double limit = seconds != nullptr ? wcstod(seconds, nullptr) : 0.0;
    const DWORD pause = pauseMs != nullptr ? wcstoul(pauseMs, nullptr, 10) : kAskPauseMs;
    const DWORD answerLimit = limitMs != nullptr ? wcstoul(limitMs, nullptr, 10) : kAnswerLimitMs;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limit * 1000.0);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    unsigned unanswered = 0;
    std::vector<double> answerMs;
    while (GetTickCount64() < end &&
           GetFileAttributesW(stopPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        DWORD_PTR ignored = 0;
        // SMTO_ABORTIFHUNG would give up early on a busy window: wait the full limit.
        if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, answerLimit, &ignored) ==
            0) {
            ++unanswered;
        }
        answerMs.push_back(MillisecondsSince(start, frequency));
        Sleep(pause);
    }
    std::vector<double> sorted = answerMs;
    std::sort(sorted.begin(), sorted.end());
    const double slowest = sorted.empty() ? 0.0 : sorted.back();
    const double median = sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    FILE* file = _wfopen(path, L"wb");
    if (file == nullptr) {
        return Fail(std::wstring(L"cannot write ") + path);
    }
    fprintf(file, "%zu %u %.0f %.0f\n", answerMs.size(), unanswered, slowest, median);
    return fclose(file) == 0 ? 0 : Fail(std::wstring(L"cannot write ") + path);
}

int Run(const std::wstring& command, const wchar_t* argument, const wchar_t* extra,
        const wchar_t* further, const wchar_t* last)
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
    if (command == L"press" && argument != nullptr) {
        const HWND button = Button(window, argument);
        if (button == nullptr) {
            return Fail(std::wstring(L"no button ") + argument);
        }
        return Press(button, extra);
    }
    if (command == L"dialog" && argument != nullptr) {
        return Dialog(argument);
    }
    if (command == L"watch" && argument != nullptr) {
        return Watch(window, argument, extra, further);
    }
    if (command == L"controls" && argument != nullptr) {
        return WatchViewControls(window, argument, extra, further);
    }
    if (command == L"respond" && argument != nullptr) {
        return Respond(window, argument, extra, further, last);
    }
    if (command == L"close") {
        return Close(window) ? 0 : Fail(L"the window did not answer");
    }
    return Fail(L"usage: log_window_driver wait <ms> | text <file> | "
                L"click clear|save|autoscroll | label | save <path> | close | count | "
                L"press <button> <times> | dialog wait|cancel | watch <file> <number> <seconds> | "
                L"controls <file> <seconds> [ms] | respond <file> <seconds> [ms] [limit]");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        return Run(L"", nullptr, nullptr, nullptr, nullptr);
    }
    return Run(argv[1], argc > 2 ? argv[2] : nullptr, argc > 3 ? argv[3] : nullptr,
               argc > 4 ? argv[4] : nullptr, argc > 5 ? argv[5] : nullptr);
}
