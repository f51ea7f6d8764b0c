// Saving the log view's whole text to a file as UTF-8.
#include "logwindow/log_file.h"

#include "runtime/text_conversion.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr wchar_t kCaption[] = L"Syslog";

using WideText = std::unique_ptr<wchar_t, decltype(&free)>;
using NarrowText = std::unique_ptr<char, decltype(&free)>;

WideText CopyViewText(HWND view)
{
    const int length = GetWindowTextLengthW(view);
    WideText copy(nullptr, &free);
    if (length <= 0) {
        return copy;
    }
    copy.reset(static_cast<wchar_t*>(malloc((static_cast<size_t>(length) + 1) * sizeof(wchar_t))));
    if (copy != nullptr) {
        // The limit counts the terminating zero, so the whole text fits.
        GetWindowTextW(view, copy.get(), length + 1);
    }
    return copy;
}

bool Report(HWND owner, const wchar_t* reason, const wchar_t* path)
{
    const std::wstring message = std::wstring(reason) + L"\n\n" + path;
    MessageBoxW(owner, message.c_str(), kCaption, MB_OK | MB_ICONERROR);
    return false;
}

}  // namespace

// The file is opened only once there are bytes to write, so an empty view
// (or a copy that could not be made) never creates or empties a file.
bool SaveLogFile(HWND view, HWND owner, const wchar_t* path)
{
    if (GetWindowTextLengthW(view) == 0) {
        return true;
    }
    const WideText copy = CopyViewText(view);
    const NarrowText utf8(copy != nullptr ? Utf16ToUtf8(copy.get()) : nullptr, &free);
    if (utf8 == nullptr) {
        return Report(owner, L"There was not enough memory to save the log.", path);
    }
    const size_t length = strlen(utf8.get());
    FILE* file = _wfopen(path, L"wb+");
    if (file == nullptr) {
        return Report(owner, L"The log could not be saved: this file cannot be opened for writing.",
                      path);
    }
    const size_t written = fwrite(utf8.get(), 1, length, file);
    // A failing close can mean that buffered bytes never reached the disk.
    const bool closed = fclose(file) == 0;
    if (written != length || !closed) {
        return Report(owner, L"The log could not be saved completely to this file.", path);
    }
    return true;
}
