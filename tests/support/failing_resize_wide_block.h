// Lets a test make the growth of the log window's texts fail, as when memory is short.
#pragma once

#include <atomic>

// While set, every growth of the log window's texts fails, as when memory is short.
extern std::atomic<bool> gFailWideBufferGrowth;
