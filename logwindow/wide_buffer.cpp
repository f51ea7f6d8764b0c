// Growing a malloc'ed UTF-16 buffer, for the texts the log window gathers.
#include "logwindow/wide_buffer.h"

#include <cstdlib>

bool GrowWideBuffer(wchar_t*& text, size_t& capacity, size_t needed)
{
    if (needed <= capacity) {
        return true;
    }
    size_t grown = capacity == 0 ? needed : capacity;
    while (grown < needed) {
        grown *= 2;
    }
    auto* larger = static_cast<wchar_t*>(realloc(text, grown * sizeof(wchar_t)));
    if (larger == nullptr) {
        return false;
    }
    text = larger;
    capacity = grown;
    return true;
}
