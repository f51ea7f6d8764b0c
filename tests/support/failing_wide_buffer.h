// Lets a test make the growth of the log window's texts fail, as when memory is short.
#pragma once

#include <atomic>

// While set, GrowWideBuffer refuses to grow any buffer.
extern std::atomic<bool> gFailWideBufferGrowth;
