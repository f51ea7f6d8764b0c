// Gathers the texts of several datagrams and queues them for the log window as one text.
#pragma once

#include <cstddef>

// Used by one thread at a time. The window receives exactly the texts added,
// one after another in the order added, each decoded on its own, so a
// sequence cut short at the end of one text never swallows the next.
class CLogAppendBatch {
public:
    // The batch flushes before it would keep more than this. Appends of a
    // few hundred lines cost the view least per line; much larger ones keep
    // the window busy for long and are mostly trimmed away at once.
    static constexpr size_t kMostPendingBytes = 32 * 1024;

    CLogAppendBatch();
    ~CLogAppendBatch();
    CLogAppendBatch(const CLogAppendBatch&) = delete;
    CLogAppendBatch& operator=(const CLogAppendBatch&) = delete;

    // Keeps the `count` bytes at `data` up to the first zero byte among them
    // for the next Flush. Flushes first when the batch is full or memory is
    // short; false only when the text could not be kept at all.
    bool Add(const char* data, size_t count);
    // Decodes what was kept and queues it for the log view as one text,
    // while the window is shown; the batch is empty afterwards.
    void Flush();
    // Bytes kept for the next Flush, terminators included.
    size_t PendingBytes() const { return used; }

private:
    bool Reserve(size_t bytes);

    char* pending;   // zero-terminated texts, one after another
    size_t used;
    size_t capacity;
};
