// Lets a test make the next worker thread creation fail, or shape how the thread ends.
#pragma once

#include <windows.h>

#include <atomic>

extern std::atomic<bool> gFailThreadCreation;
// While set, a creation returns only once the new thread has ended.
extern std::atomic<bool> gReturnAfterThreadEnds;
// A new thread stays this long after its entry returned, as a slow exit would.
extern std::atomic<DWORD> gThreadLingerMs;
