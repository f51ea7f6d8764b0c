// Text handed to the log window that it has not shown yet, joined in the order handed over.
#include "logwindow/log_waiting_text.h"

#include "logwindow/wide_buffer.h"

#include <cstdlib>
#include <cwchar>
#include <utility>

CLogWaitingText::CLogWaitingText() : text(nullptr), units(0), capacity(0), dropped(false) {}

CLogWaitingText::~CLogWaitingText()
{
    free(text);
}

bool CLogWaitingText::Reserve(size_t needed)
{
    return GrowWideBuffer(text, capacity, needed);
}

bool CLogWaitingText::Add(const wchar_t* added, size_t count)
{
    if (added == nullptr || count == 0) {
        return true;
    }
    if (units + count > kMostUnits) {
        // Only the newest kKeptUnits can be shown: the older text goes now,
        // in one move per kKeptUnits added, rather than waiting for a view
        // that would delete it at once.
        const size_t excess = units + count - kKeptUnits;
        if (excess >= units) {
            added += excess - units;
            count -= excess - units;
            units = 0;
        } else {
            wmemmove(text, text + excess, units - excess);
            units -= excess;
        }
        dropped = true;
    }
    if (!Reserve(units + count + 1)) {
        return false;
    }
    wmemcpy(text + units, added, count);
    units += count;
    text[units] = L'\0';
    return true;
}

void CLogWaitingText::SwapWith(CLogWaitingText& other)
{
    std::swap(text, other.text);
    std::swap(units, other.units);
    std::swap(capacity, other.capacity);
    std::swap(dropped, other.dropped);
}

void CLogWaitingText::Clear()
{
    units = 0;
    dropped = false;
    if (text != nullptr) {
        text[0] = L'\0';
    }
}
