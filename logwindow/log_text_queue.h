// Texts waiting for the window thread, oldest first.
#pragma once

#include "runtime/kestrum_critical_section.h"

#include <windows.h>

#include <cstddef>

// Any thread may add texts; the window thread alone takes and clears them
// (the destructor aside), when it has nothing more urgent to do (input,
// painting), so a flood of traffic never freezes the window and the sender
// never waits for the view. Bounded: a full queue refuses texts and the
// sender waits or drops.
class CLogTextQueue {
public:
    // About a minute and a half of the view's pace under Wine, or a
    // 10-second flood of 100-byte messages at 20,000 a second.
    static constexpr size_t kMostQueuedBytes = 64u << 20;

    CLogTextQueue();
    ~CLogTextQueue();
    CLogTextQueue(const CLogTextQueue&) = delete;
    CLogTextQueue& operator=(const CLogTextQueue&) = delete;

    // Takes `text` (malloc'ed, `units` UTF-16 units and a terminating zero)
    // unless the queue is full or memory is short; then returns false and the
    // caller keeps it.
    bool Push(wchar_t* text, size_t units);
    // The oldest texts joined into one, as many as fit in `mostUnits` (always
    // at least the oldest, whatever its size), or null when none wait. The
    // caller frees it. When memory is short, the oldest alone.
    wchar_t* Take(size_t mostUnits);
    // Frees every waiting text.
    void Clear();
    size_t QueuedBytes() const;
    // Set while texts wait, for a thread that waits for messages and texts together.
    HANDLE ReadyEvent() const { return ready; }

private:
    struct Node {
        Node* next;
        wchar_t* text;
        size_t units;
    };
    static size_t BytesOf(const Node* node);

    mutable CKestrumCriticalSection lock;
    Node* oldest;
    Node* newest;
    size_t queuedBytes;
    HANDLE ready;
};
