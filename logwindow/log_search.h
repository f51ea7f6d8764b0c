// Find in the log view's text, unit by unit, as the view holds it.
#pragma once

#include <cstddef>

struct LogSearch {
    const wchar_t* pattern;  // not zero-terminated necessarily
    size_t patternUnits;
    bool matchCase;
    bool wholeWord;
    bool down;  // else up
};

// Down: the first occurrence that starts at or after `from`.
// Up: the last occurrence that ends at or before `from` (past the end: the last of all).
// True and *found = its start when there is one; false otherwise (also for an empty pattern).
// A match never splits a surrogate pair. Costs `units` x `patternUnits` at worst.
bool FindInLogText(const wchar_t* text, size_t units, size_t from, const LogSearch& search,
                   size_t* found);
