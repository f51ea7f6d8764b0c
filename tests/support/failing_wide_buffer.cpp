// Link-time stand-in for the growth of the log window's texts, able to fail on request.
#include "tests/support/failing_wide_buffer.h"

#include "logwindow/wide_buffer.h"

#include <cstdlib>

std::atomic<bool> gFailWideBufferGrowth{false};

bool GrowWideBuffer(wchar_t*& text, size_t& capacity, size_t needed)
{
    if (needed <= capacity) {
        return true;
    }
    if (gFailWideBufferGrowth) {
        return false;
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
