// Text handed to the log window that it has not shown yet, joined in the order handed over.
#pragma once

#include "logwindow/log_text.h"
#include "logwindow/log_view.h"

#include <cstddef>

// Not locked: the window's hand-off lock guards the one that senders add to.
// Bounded: a step with more text than a trim keeps shows only the newest
// kKeptUnits, so once kMostUnits wait the older text goes and Dropped() says so.
class CLogWaitingText {
public:
    static constexpr size_t kKeptUnits = kLogKeepAfterTrim;
    static constexpr size_t kMostUnits = 2 * kKeptUnits;

    // Copies `units` of `text` behind what waits, each line break made one
    // unit (see CLogText). False when memory is short and nothing of it
    // could be kept.
    bool Add(const wchar_t* text, size_t units);
    // Everything waiting changes places with `other`, so the caller takes it
    // without a copy while the lock is held.
    void SwapWith(CLogWaitingText& other);
    void Clear();

    const CLogText& Held() const { return held; }
    const wchar_t* Text() const { return held.Text(); }
    size_t Units() const { return held.Units(); }
    // Older text went to keep the bound: the newest part alone is shown.
    bool Dropped() const { return dropped; }

private:
    CLogText held;
    bool dropped = false;
};
