// What one step of the log view removes, and how: the rule that keeps the view near 64K characters.
#pragma once

#include "logwindow/log_contract.h"
#include "logwindow/log_text.h"

#include <cstddef>

struct LogViewStep {
    // How many characters of the view, then of the waiting text, go from the
    // front. What stays is the newest text, from just past a line break (or
    // from the cut itself when no line break follows it closely).
    size_t removed;
    // Deleting them touches a paragraph longer than kLogLongParagraph, or
    // leaves nothing of the view.
    bool touchesLongParagraph;
};

// A paragraph longer than this is long: deleting from it, or joining it to
// what is deleted before it, costs Wine's control a new layout of all of it.
inline constexpr size_t kLogLongParagraph = 4096;

// The step that shows `waiting` in a view holding `view`: as a trim before
// each text would leave it, never more than kLogTrimAbove plus one
// datagram's text, and never less than `kept` (kLogKeepAfterTrim, or less)
// once that much came.
LogViewStep PlanLogViewStep(const CLogText& view, const CLogText& waiting,
                            size_t kept = kLogKeepAfterTrim);

// Where a trim of `view` followed by `waiting` that begins at `cut` ends:
// just past the first line break within kLogFarthestBreak, so that what
// stays starts with a whole line; without one, at `cut` itself, moved past
// the second half of a surrogate pair.
size_t LogTrimEnd(const CLogText& view, const CLogText& waiting, size_t cut);
