// The millisecond tick that every time-out of the program is measured in.
#include "runtime/tick_count.h"

#include <windows.h>

uint32_t TickCount()
{
    return GetTickCount();
}
