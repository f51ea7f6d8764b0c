// Watches a log view from another process: how far its numbered texts have come, and when.
#include "tests/support/view_watcher.h"

#include "tests/support/window_driver.h"

#include "logwindow/window_numbers.h"

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

namespace testsupport {

namespace {

constexpr size_t kTokenDigits = 7;
constexpr size_t kTokenLength = kTokenDigits + 2;
// Between readings, so that the watcher does not become the load it measures:
// each reading copies the whole view on the window's thread.
constexpr DWORD kReadPauseMs = 5;
// A reading that finds the length unchanged is skipped, but never for longer
// than this: an append and a trim could leave the length as it was.
constexpr ULONGLONG kForcedReadMs = 50;
constexpr ULONGLONG kStopCheckMs = 100;
constexpr ULONGLONG kFileTimeUnixEpoch = 116444736000000000ULL;
constexpr double kFileTimeUnitsPerSecond = 1e7;
constexpr wchar_t kViewClass[] = L"RichEdit50W";

double UnixNow()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks - kFileTimeUnixEpoch) / kFileTimeUnitsPerSecond;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The number of the token that starts at `at`, or false when none starts there.
bool TokenAt(const std::wstring& text, size_t at, unsigned* number)
{
    if (text[at] != L'#' || text[at + kTokenLength - 1] != L'#') {
        return false;
    }
    unsigned value = 0;
    for (size_t digit = 1; digit <= kTokenDigits; ++digit) {
        if (!IsDigit(text[at + digit])) {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(text[at + digit] - L'0');
    }
    *number = value;
    return true;
}

bool WriteLine(HANDLE file, const std::string& line)
{
    DWORD written = 0;
    return WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
}

std::string FormatReading(double when, const SequenceRun& run)
{
    char line[64];
    snprintf(line, sizeof line, "%.6f %u %u\n", when, run.first, run.last);
    return line;
}

std::string FormatControl(double when, HWND control)
{
    char line[64];
    snprintf(line, sizeof line, "%.6f %llx\n", when,
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(control)));
    return line;
}

bool StopRequested(const std::wstring& stopPath)
{
    return GetFileAttributesW(stopPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A watch's record, made anew; its first line tells the caller that the
// watch has begun.
HANDLE StartRecord(const std::wstring& path, bool* written)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    *written = file != INVALID_HANDLE_VALUE && WriteLine(file, "ready\n");
    return file;
}

}  // namespace

SequenceRun TrailingSequenceRun(const std::wstring& text)
{
    SequenceRun run{false, 0, 0};
    if (text.size() < kTokenLength) {
        return run;
    }
    // From the end backwards: the view can hold far more text than the run.
    for (size_t at = text.size() - kTokenLength + 1; at-- > 0;) {
        unsigned number = 0;
        if (!TokenAt(text, at, &number)) {
            continue;
        }
        if (!run.found) {
            run = {true, number, number};
        } else if (number + 1 == run.first) {
            run.first = number;
        } else {
            break;
        }
        if (at < kTokenLength) {
            break;
        }
        at -= kTokenLength - 1;
    }
    return run;
}

bool WatchView(HWND window, const std::wstring& path, unsigned target, double seconds)
{
    bool written = false;
    const HANDLE file = StartRecord(path, &written);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::wstring stopPath = path + L".stop";
    const ULONGLONG started = GetTickCount64();
    const ULONGLONG limitMs = static_cast<ULONGLONG>(seconds * 1000.0);
    ULONGLONG lastRead = 0;
    ULONGLONG lastStopCheck = started;
    size_t lastLength = static_cast<size_t>(-1);
    bool hasLast = false;
    unsigned last = 0;
    bool reached = false;
    for (ULONGLONG now = started; !reached && now - started < limitMs && IsWindow(window);
         now = GetTickCount64()) {
        if (now - lastStopCheck >= kStopCheckMs) {
            lastStopCheck = now;
            if (StopRequested(stopPath)) {
                break;
            }
        }
        Sleep(kReadPauseMs);
        // Found again each time: the window makes a new view when that is
        // cheaper than editing the old one.
        const HWND view = FindControl(window, IDC_LOG, L"RichEdit50W");
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(view, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kDriverPatienceMs,
                                 &length)) {
            continue;
        }
        if (length == lastLength && now - lastRead < kForcedReadMs) {
            continue;
        }
        lastLength = length;
        lastRead = now;
        const std::wstring text = ReadText(view);
        const double when = UnixNow();
        const SequenceRun run = TrailingSequenceRun(text);
        if (!run.found || (hasLast && run.last == last)) {
            continue;
        }
        hasLast = true;
        last = run.last;
        reached = last == target;
        written = WriteLine(file, FormatReading(when, run)) && written;
    }
    CloseHandle(file);
    return written && reached;
}

bool WatchControls(HWND window, const std::wstring& path, double seconds, DWORD pauseMs)
{
    bool written = false;
    const HANDLE file = StartRecord(path, &written);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::wstring stopPath = path + L".stop";
    const ULONGLONG started = GetTickCount64();
    const ULONGLONG limitMs = static_cast<ULONGLONG>(seconds * 1000.0);
    // Handles, not a count of changes: while a new control is filled, the
    // old one is still there, and either may be found first. Wine adds a
    // generation to a handle that it reuses, so a new control reads as new.
    std::set<HWND> seen;
    for (ULONGLONG now = started; now - started < limitMs && IsWindow(window);
         now = GetTickCount64()) {
        if (StopRequested(stopPath)) {
            break;
        }
        // Class and id only, never a message: a busy window thread cannot
        // slow the looks down.
        for (HWND child = FindWindowExW(window, nullptr, kViewClass, nullptr); child != nullptr;
             child = FindWindowExW(window, child, kViewClass, nullptr)) {
            if (GetDlgCtrlID(child) == IDC_LOG && seen.insert(child).second) {
                written = WriteLine(file, FormatControl(UnixNow(), child)) && written;
            }
        }
        Sleep(pauseMs);
    }
    CloseHandle(file);
    return written;
}

}  // namespace testsupport
