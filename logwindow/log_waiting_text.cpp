// Text handed to the log window that it has not shown yet, joined in the order handed over.
#include "logwindow/log_waiting_text.h"

#include <utility>

bool CLogWaitingText::Add(const wchar_t* text, size_t units)
{
    if (text == nullptr || units == 0) {
        return true;
    }
    if (units > kMostUnits) {
        // Its own newest part is all that can be shown, of it and of
        // everything before it.
        text += units - kMostUnits;
        units = kMostUnits;
        held.Clear();
        dropped = true;
    }
    if (!held.AppendWithLineBreaks(text, units)) {
        return false;
    }
    if (held.Units() > kMostUnits) {
        // In one move per kKeptUnits added, rather than one per text.
        held.RemoveFront(held.Units() - kKeptUnits);
        dropped = true;
    }
    return true;
}

void CLogWaitingText::SwapWith(CLogWaitingText& other)
{
    held.SwapWith(other.held);
    std::swap(dropped, other.dropped);
}

void CLogWaitingText::Clear()
{
    held.Clear();
    dropped = false;
}
