// Watches a log view from another process: how far its numbered texts have come, and when.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// The unbroken run of numbered texts ("#NNNNNNN#", seven digits) that ends a view's text.
struct SequenceRun {
    bool found;      // the text holds at least one number
    unsigned first;  // the run's first number: each later token is one more than the one before
    unsigned last;   // the text's last number
};

// The run that ends `text`: its last token, and how far back the numbers
// before it count down by one.
SequenceRun TrailingSequenceRun(const std::wstring& text);

// Reads the log view of `window` again and again (finding it anew each time)
// and writes "ready", then one line each time its last number changes:
//   <unix time> <first number of the run> <last number>
// Ends once the last number is `target`, after `seconds`, when the window is
// gone, or when a file named `path`.stop appears. Returns false when `path`
// cannot be written or `target` was never shown.
bool WatchView(HWND window, const std::wstring& path, unsigned target, double seconds);

// Looks at the children of `window` every `pauseMs` and notes each log view
// control (id IDC_LOG, class RichEdit50W, shown or hidden) that it has not
// seen before: writes "ready", then one line per new control:
//   <unix time> <handle in hex>
// A control made and destroyed between two looks is missed, so the count is
// a lower bound. Ends after `seconds`, when the window is gone, or when a
// file named `path`.stop appears. Returns false when `path` cannot be written.
bool WatchControls(HWND window, const std::wstring& path, double seconds, DWORD pauseMs);

}  // namespace testsupport
