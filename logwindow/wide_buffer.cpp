// Growing a malloc'ed UTF-16 buffer, for the texts the log window gathers.
#include "logwindow/wide_buffer.h"

#include "logwindow/resize_wide_block.h"

#include <cstdint>

bool GrowWideBuffer(wchar_t*& text, size_t& capacity, size_t needed)
{
    if (needed <= capacity) {
        return true;
    }
    // A request no allocation can meet fails here, before the size wraps.
    if (needed > SIZE_MAX / sizeof(wchar_t) / 2) {
        return false;
    }
    size_t grown = capacity == 0 ? needed : capacity;
    while (grown < needed) {
        grown *= 2;
    }
    wchar_t* larger = ResizeWideBlock(text, grown);
    if (larger == nullptr) {
        return false;
    }
    text = larger;
    capacity = grown;
    return true;
}
