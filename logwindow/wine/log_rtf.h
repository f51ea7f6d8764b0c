// Text as the rich text that the Wine control streams into its control.
#pragma once

#include "logwindow/joined_text.h"

#include <cstddef>
#include <cstdlib>
#include <memory>

// The view font as rich text names it: its face in ASCII and its character set.
struct LogRtfFont {
    char face[32];
    int charSet;
};

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
using LogRtfBytes = std::unique_ptr<char, FreeDeleter>;

// `text` (every line break one kLogLineBreak) as rich text: the
// view font named twice, under two family hints that change nothing on
// screen, and the text's parts (PartEnd) in the two names in turn, the first
// in `*font` (0 or 1), which then names the one a later part should take.
// Runs of different fonts never join, so no run is longer than a part. Every
// character is written as text or escaped, so none of it is read as rich
// text. Null when memory is short; `*size` is then 0.
LogRtfBytes BuildLogRtf(const CJoinedText& text, const LogRtfFont& font, int* next, size_t* size);
