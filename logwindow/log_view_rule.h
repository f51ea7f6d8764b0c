// The rule that keeps the log view near 64K characters: when it trims, and where it cuts.
#pragma once

#include "logwindow/log_text.h"

#include <cstddef>

// The view is trimmed once it holds more than this many characters...
inline constexpr size_t kLogTrimAbove = 0xFFFF;
// ...down to this many, then on to just past the first line break that
// follows within kLogFarthestBreak characters; without one, on to the first
// place within as many where a cluster may start.
inline constexpr size_t kLogKeepAfterTrim = 0xD7FF;
inline constexpr size_t kLogFarthestBreak = 1024;
// A step that takes the view past kLogTrimAbove by no more than this, the
// text of one datagram, leaves the trim to the next step, as one append
// would; by more, it trims at once.
inline constexpr size_t kLogMostPastTrim = 1024;
// The most a view may hold after a step.
inline constexpr size_t kLogMostShown = kLogTrimAbove + kLogMostPastTrim;

// How many characters of `view`, then of `waiting`, go from the front when
// `waiting` is shown behind `view`: as a trim before each text would leave
// the view, so that it never holds more than kLogMostShown and never less
// than a trim keeps once that much came. What stays starts with a whole line
// (LogTrimEnd).
size_t LogStepRemoves(const CLogText& view, const CLogText& waiting);

// Where a trim of `view` followed by `waiting` that begins at `cut` ends:
// just past the first line break within kLogFarthestBreak, so that what
// stays starts with a whole line; without one, at the first place from `cut`
// on where a cluster may start, so that what stays never begins with a mark
// or half of a flag; failing that too, at `cut` moved past the second half
// of a surrogate pair.
size_t LogTrimEnd(const CLogText& view, const CLogText& waiting, size_t cut);
