// The reader's place in the log view: the selection, its active end and the top line, kept across a step.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <cstddef>

struct LogReaderPlace {
    LONG top;             // the first character of the line at the top
    CHARRANGE selection;  // cpMin <= cpMax
    bool startActive;     // the caret is at the selection's start
    bool atEnd;           // an insertion point at the view's end
};

// The place in characters and lines, not pixels: the control's pixel scroll
// positions are 16-bit and overflow in a long view. `units` is how many
// characters the view holds.
LogReaderPlace ReadReaderPlace(HWND view, size_t units);

// Puts the reader back after `removed` characters went from the front and
// text came at the end: the same characters selected, with the same active
// end (a selection the trim took goes to the view's start, an insertion point
// at the end follows the end), and the same line at the top or, when
// `followEnd`, the end in view.
void RestoreReaderPlace(HWND view, const LogReaderPlace& place, size_t removed, bool followEnd);
