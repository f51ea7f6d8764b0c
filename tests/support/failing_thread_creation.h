// Lets a test make the next worker thread creation fail.
#pragma once

#include <atomic>

extern std::atomic<bool> gFailThreadCreation;
