// Text handed to the log window that it has not shown yet, joined in the order handed over.
#pragma once

#include "logwindow/log_text.h"
#include "logwindow/log_view_rule.h"

#include <cstddef>

// Not locked: the view's hand-off lock guards the one that senders add to.
// Bounded: once more than kMostUnits wait, the oldest go, cut as a trim of
// the view is cut, so that what stays starts with a whole line. What stays
// is more than a view may hold after a step, so the step that shows it
// shows its newest part alone, as the texts shown one by one would have left
// the view.
class CLogWaitingText {
public:
    static constexpr size_t kKeptUnits = kLogMostShown + kLogFarthestBreak + 1;
    static constexpr size_t kMostUnits = 2 * kKeptUnits;

    // Copies `units` of `text` behind what waits, each line break made one
    // unit (see CLogText). When memory is short the oldest waiting text makes
    // room for it; false when none of it could be kept.
    bool Add(const wchar_t* text, size_t units);
    // Everything waiting changes places with `other`, so the caller takes it
    // without a copy while the lock is held.
    void SwapWith(CLogWaitingText& other) { held.SwapWith(other.held); }
    void Clear() { held.Clear(); }

    const CLogText& Held() const { return held; }
    const wchar_t* Text() const { return held.Text(); }
    size_t Units() const { return held.Units(); }

private:
    CLogText held;
};
