// Lets a test count the pauses between a transport worker's turns.
#pragma once

#include <atomic>

// How many pauses began, idle ones included; each still sleeps as asked.
extern std::atomic<int> gTurnPauses;
