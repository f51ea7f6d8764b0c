// Text handed to the log window that it has not shown yet, joined in the order handed over.
#include "logwindow/log_waiting_text.h"

bool CLogWaitingText::Add(const wchar_t* text, size_t units)
{
    if (text == nullptr || units == 0) {
        return true;
    }
    if (units > kMostUnits) {
        // Only its own newest part could be shown, of it and of all before it.
        text += units - kMostUnits;
        units = kMostUnits;
    }
    if (!held.Reserve(held.Units() + units)) {
        // Without more memory the newest text is kept in the room there is.
        const size_t room = held.Room();
        if (room == 0) {
            return false;
        }
        if (units > room) {
            text += units - room;
            units = room;
        }
        held.RemoveFront(held.Units() + units - room);
    }
    held.AppendWithLineBreaks(text, units);
    if (held.Units() > kMostUnits) {
        // In one move per kKeptUnits added, rather than one per text.
        held.RemoveFront(LogTrimEnd(held, CLogText(), held.Units() - kKeptUnits));
    }
    return true;
}
