// The pause between two turns of a transport's worker.
#include "transport/turn_pause.h"

#include <windows.h>

void PauseTurn(uint32_t milliseconds)
{
    Sleep(milliseconds);
}
