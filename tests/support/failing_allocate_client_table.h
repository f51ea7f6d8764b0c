// Lets a test make the next sender table allocation fail.
#pragma once

#include <atomic>

extern std::atomic<bool> gFailTableAllocation;
