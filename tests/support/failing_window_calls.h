// Lets a test make the log window's wake posts and look-again timers fail.
#pragma once

#include <atomic>

// While set, every wake post fails, as with a full message queue.
extern std::atomic<bool> gFailWakePosts;
// While set, every look-again timer is refused, as when the system has none left.
extern std::atomic<bool> gFailLookAgainTimers;
