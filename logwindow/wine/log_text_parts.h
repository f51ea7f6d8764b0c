// Where the Wine control's text is cut into parts that its control shapes on their own.
#pragma once

#include "logwindow/joined_text.h"

#include <cstddef>

// The longest part; shorter where a space or a line break ends a word.
inline constexpr size_t kLogPartUnits = 256;

// Where the part that begins at `start` ends: after a space or line break in
// its second half, else at the last unit where a cut splits nothing drawn as
// one (CanCutBefore), else (a cluster longer than a part) where the cluster
// ends.
size_t PartEnd(const CJoinedText& text, size_t start);
