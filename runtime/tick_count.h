// The millisecond tick that every time-out of the program is measured in.
#pragma once

#include <cstdint>

// GetTickCount: wraps after about 49.7 days, so compare differences, never sums.
// Its own translation unit, so that a test can supply a controlled clock at
// link time without costing the program anything.
uint32_t TickCount();
