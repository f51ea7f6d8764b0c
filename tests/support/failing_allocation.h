// Lets a test make the allocations of the event queue fail.
#pragma once

#include <atomic>

// While set, AllocateQueueEvent returns null.
extern std::atomic<bool> gFailEventAllocation;
// How many event records were asked for since the test set it to 0.
extern std::atomic<int> gEventAllocations;
// While set, the language's allocation throws std::bad_alloc. Set it only
// around the one call under test: the test framework allocates too.
extern std::atomic<bool> gFailOperatorNew;
