// The one place where the log window's growing texts get their memory.
#pragma once

#include <cstddef>

// realloc of `block` to `units` UTF-16 units; null when it fails (`block`
// is then unchanged). Its own translation unit, so that a test can make it
// fail at link time without costing the program anything.
wchar_t* ResizeWideBlock(wchar_t* block, size_t units);
