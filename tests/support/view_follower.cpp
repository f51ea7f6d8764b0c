// Follows a log view from another process and records every numbered text that passes through it.
#include "tests/support/view_follower.h"

#include "tests/support/window_driver.h"

#include <cstdio>
#include <string>

namespace testsupport {

namespace {

constexpr size_t kTokenDigits = 7;
constexpr size_t kTokenLength = kTokenDigits + 2;
// A reading that finds the length unchanged is skipped, but never for longer
// than this: an append and a trim could leave the length as it was.
constexpr ULONGLONG kForcedReadMs = 50;
constexpr DWORD kUnchangedPauseMs = 1;
constexpr ULONGLONG kStopCheckMs = 100;
constexpr ULONGLONG kFileTimeUnixEpoch = 116444736000000000ULL;
constexpr double kFileTimeUnitsPerSecond = 1e7;

double UnixNow()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks - kFileTimeUnixEpoch) / kFileTimeUnitsPerSecond;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool WriteLine(HANDLE file, const std::string& line)
{
    DWORD written = 0;
    return WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
}

std::string FormatStep(double when, const FollowStep& step)
{
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%.6f", when);
    std::string line = stamp;
    if (step.gap) {
        line += " gap";
    }
    for (const unsigned number : step.fresh) {
        line += ' ';
        line += std::to_string(number);
    }
    line += '\n';
    return line;
}

}  // namespace

std::vector<unsigned> FindSequenceTokens(const std::wstring& text)
{
    std::vector<unsigned> tokens;
    for (size_t i = 0; i + kTokenLength <= text.size(); ++i) {
        if (text[i] != L'#' || text[i + kTokenLength - 1] != L'#') {
            continue;
        }
        unsigned number = 0;
        size_t digit = 1;
        for (; digit <= kTokenDigits && IsDigit(text[i + digit]); ++digit) {
            number = number * 10 + static_cast<unsigned>(text[i + digit] - L'0');
        }
        if (digit == kTokenDigits + 1) {
            tokens.push_back(number);
            i += kTokenLength - 1;
        }
    }
    return tokens;
}

FollowStep NextFollowStep(const std::vector<unsigned>& tokens, bool hasPrevious, unsigned previousLast)
{
    FollowStep step{false, {}};
    size_t from = 0;
    if (hasPrevious) {
        // The last occurrence: a sender may repeat a number, the view never reorders.
        size_t found = tokens.size();
        for (size_t i = tokens.size(); i > 0; --i) {
            if (tokens[i - 1] == previousLast) {
                found = i - 1;
                break;
            }
        }
        if (found == tokens.size()) {
            step.gap = !tokens.empty();
        } else {
            from = found + 1;
        }
    }
    step.fresh.assign(tokens.begin() + static_cast<ptrdiff_t>(from), tokens.end());
    return step;
}

bool FollowView(HWND view, const std::wstring& path, double seconds)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::wstring stopPath = path + L".stop";
    const ULONGLONG started = GetTickCount64();
    const ULONGLONG limitMs = static_cast<ULONGLONG>(seconds * 1000.0);
    ULONGLONG lastRead = 0;
    ULONGLONG lastStopCheck = started;
    size_t lastLength = static_cast<size_t>(-1);
    bool hasPrevious = false;
    unsigned previousLast = 0;
    bool written = true;
    for (ULONGLONG now = started; now - started < limitMs && IsWindow(view); now = GetTickCount64()) {
        if (now - lastStopCheck >= kStopCheckMs) {
            lastStopCheck = now;
            if (GetFileAttributesW(stopPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
                break;
            }
        }
        const size_t length = static_cast<size_t>(SendMessageW(view, WM_GETTEXTLENGTH, 0, 0));
        if (length == lastLength && now - lastRead < kForcedReadMs) {
            Sleep(kUnchangedPauseMs);
            continue;
        }
        lastLength = length;
        lastRead = now;
        const std::wstring text = ReadText(view);
        const double when = UnixNow();
        const std::vector<unsigned> tokens = FindSequenceTokens(text);
        const FollowStep step = NextFollowStep(tokens, hasPrevious, previousLast);
        if (!tokens.empty()) {
            hasPrevious = true;
            previousLast = tokens.back();
        }
        if (step.gap || !step.fresh.empty()) {
            written = WriteLine(file, FormatStep(when, step)) && written;
        }
    }
    CloseHandle(file);
    return written;
}

}  // namespace testsupport
