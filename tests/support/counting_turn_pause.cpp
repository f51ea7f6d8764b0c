// Link-time stand-in for the transport's pause between turns: counts, then sleeps.
#include "tests/support/counting_turn_pause.h"

#include "transport/turn_pause.h"

#include <windows.h>

std::atomic<int> gTurnPauses{0};

void PauseTurn(uint32_t milliseconds)
{
    ++gTurnPauses;
    Sleep(milliseconds);
}
