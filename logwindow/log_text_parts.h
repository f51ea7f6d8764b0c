// Where the log view's text may be cut into parts that the control shapes on their own.
#pragma once

#include <cstddef>

// The longest part; shorter where a space or a line break ends a word.
inline constexpr size_t kLogPartUnits = 256;

// True when `text` may be cut just before unit `at` without splitting what
// is drawn as one: a surrogate pair, a base and its marks, an emoji joined by
// ZWJ or with its modifier or selector, a flag's two letters, an Indic
// conjunct (a virama and the consonant after it), joined Arabic letters or
// Hangul jamo. Its start and its end can always be cut.
bool CanCutBefore(const wchar_t* text, size_t units, size_t at);

// Where the part that begins at `start` ends: after a space or line break in
// its second half, else at the last unit that may be cut, else (a cluster
// longer than a part) where the cluster ends.
size_t PartEnd(const wchar_t* text, size_t units, size_t start);
