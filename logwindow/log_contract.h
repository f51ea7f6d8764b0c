// The log window's contract: its control ids, the append message and the rule that keeps its view near 64K characters.
#pragma once

#include <windows.h>

#include <cstddef>

// Any thread may add text with this message, sent with SendMessageW: WPARAM
// is a malloc'ed, zero-terminated UTF-16 text (or null) that the window
// frees; LPARAM is not read. The text is shown when the call returns.
inline constexpr UINT WM_LOG_APPEND = WM_USER + 1;
static_assert(WM_LOG_APPEND == 1025, "the append message is part of our contract");

// Control ids of the children of the main window.
inline constexpr int IDC_LOG = 0;
inline constexpr int IDC_CLEAR = 1;
inline constexpr int IDC_SAVE = 2;
inline constexpr int IDC_AUTOSCROLL = 3;
static_assert(IDC_LOG == 0 && IDC_CLEAR == 1 && IDC_SAVE == 2 && IDC_AUTOSCROLL == 3,
              "control ids are part of our contract");

// The view is trimmed once it holds more than this many characters...
inline constexpr size_t kLogTrimAbove = 0xFFFF;
// ...down to this many, then on to just past the first line break that
// follows within kLogFarthestBreak characters.
inline constexpr size_t kLogKeepAfterTrim = 0xD7FF;
inline constexpr size_t kLogFarthestBreak = 1024;
// A step that takes the view past kLogTrimAbove by no more than this, the
// text of one datagram, leaves the trim to the next step, as one append
// would; by more, it trims at once.
inline constexpr size_t kLogMostPastTrim = 1024;
// A trim that makes a new control under Wine keeps this much instead of
// kLogKeepAfterTrim: the new control lays all it keeps out afresh, which
// costs about three steps, so such trims come a third as often.
inline constexpr size_t kLogWineKeptAfterNewControl = 0x8000;
static_assert(kLogWineKeptAfterNewControl < kLogKeepAfterTrim, "deeper than a trim");
