// Text handed to the log window that it has not shown yet, joined in the order handed over.
#pragma once

#include <cstddef>

// Not locked: the window's hand-off lock guards the one that senders add to. Bounded:
// only the newest kKeptUnits can ever be shown (a view's worth), so once it
// holds kMostUnits the older text goes and Dropped() says so.
class CLogWaitingText {
public:
    static constexpr size_t kKeptUnits = 64 * 1024;
    static constexpr size_t kMostUnits = 2 * kKeptUnits;

    CLogWaitingText();
    ~CLogWaitingText();
    CLogWaitingText(const CLogWaitingText&) = delete;
    CLogWaitingText& operator=(const CLogWaitingText&) = delete;

    // Copies `units` UTF-16 units of `text` behind what waits. False when
    // memory is short and nothing of it could be kept.
    bool Add(const wchar_t* text, size_t units);
    // Everything waiting changes places with `other`, so the caller takes it
    // without a copy while the lock is held.
    void SwapWith(CLogWaitingText& other);
    void Clear();

    // Zero-terminated; empty, never null.
    const wchar_t* Text() const { return text != nullptr ? text : L""; }
    size_t Units() const { return units; }
    // Older text went to keep the bound: the newest part alone is shown.
    bool Dropped() const { return dropped; }

private:
    bool Reserve(size_t needed);

    wchar_t* text;
    size_t units;
    size_t capacity;  // units, the terminator included
    bool dropped;
};
