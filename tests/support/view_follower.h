// Follows a log view from another process and records every numbered text that passes through it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// The sequence numbers of the tokens "#NNNNNNN#" (seven digits) in `text`, in order.
std::vector<unsigned> FindSequenceTokens(const std::wstring& text);

// One reading of the view, reduced to what is new since the reading before.
struct FollowStep {
    bool gap;                   // the previous reading's last token was gone: something may be unseen
    std::vector<unsigned> fresh;  // tokens after the previous reading's last token
};

// Compares a reading with the last token of the reading before (none: every token is fresh).
FollowStep NextFollowStep(const std::vector<unsigned>& tokens, bool hasPrevious, unsigned previousLast);

// Reads `view` again and again until `seconds` pass or a file named `path`.stop
// appears, and writes one line per reading that found something new:
//   <unix time> [gap] <number> <number>...
// Returns false when `path` cannot be written.
bool FollowView(HWND view, const std::wstring& path, double seconds);

}  // namespace testsupport
