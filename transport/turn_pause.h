// The pause between two turns of a transport's worker.
#pragma once

#include <cstdint>

// Sleeps for `milliseconds`. Its own translation unit, so that a test can
// count the pauses at link time.
void PauseTurn(uint32_t milliseconds);
