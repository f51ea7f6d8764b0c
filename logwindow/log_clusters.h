// Where the log view's text may be cut without splitting what is drawn as one.
#pragma once

#include "logwindow/joined_text.h"

#include <cstddef>

// True when `text` may be cut just before unit `at` without splitting what
// is drawn as one: a surrogate pair, a base and its marks, an emoji joined by
// ZWJ or with its modifier or selector, a flag's two letters, an Indic
// conjunct (a virama and the consonant after it), joined Arabic letters or
// Hangul jamo. Its start and its end can always be cut.
bool CanCutBefore(const CJoinedText& text, size_t at);

inline bool CanCutBefore(const wchar_t* text, size_t units, size_t at)
{
    return CanCutBefore(CJoinedText(text, units), at);
}
