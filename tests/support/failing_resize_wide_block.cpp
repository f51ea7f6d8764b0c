// Link-time stand-in for the memory of the log window's growing texts, able to fail on request.
#include "tests/support/failing_resize_wide_block.h"

#include "logwindow/resize_wide_block.h"

#include <cstdlib>

std::atomic<bool> gFailWideBufferGrowth{false};

wchar_t* ResizeWideBlock(wchar_t* block, size_t units)
{
    if (gFailWideBufferGrowth) {
        return nullptr;
    }
    return static_cast<wchar_t*>(realloc(block, units * sizeof(wchar_t)));
}
