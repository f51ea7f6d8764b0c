// Decodes the texts of several datagrams into one text for the log window.
#pragma once

#include <cstddef>

// Used by one thread at a time. The text holds exactly the texts added, one
// after another in the order added, each decoded on its own, so a sequence
// cut short at the end of one text never swallows the next.
class CLogAppendBatch {
public:
    CLogAppendBatch();
    ~CLogAppendBatch();
    CLogAppendBatch(const CLogAppendBatch&) = delete;
    CLogAppendBatch& operator=(const CLogAppendBatch&) = delete;

    // Decodes the `count` bytes at `data` up to the first zero byte among
    // them onto the end of the text; false when memory is short.
    bool Add(const char* data, size_t count);
    void Clear() { units = 0; }

    // Zero-terminated while Units() is above 0.
    const wchar_t* Text() const { return text; }
    size_t Units() const { return units; }

private:
    bool Reserve(size_t needed);

    wchar_t* text;
    size_t units;
    size_t capacity;  // units, the terminator included
};
