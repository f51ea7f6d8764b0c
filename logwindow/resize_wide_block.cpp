// The one place where the log window's growing texts get their memory.
#include "logwindow/resize_wide_block.h"

#include <cstdlib>

wchar_t* ResizeWideBlock(wchar_t* block, size_t units)
{
    return static_cast<wchar_t*>(realloc(block, units * sizeof(wchar_t)));
}
