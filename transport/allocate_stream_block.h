// The one place where the stream buffers get their blocks.
#pragma once

#include <cstdint>

// malloc; null when it fails. Its own translation unit, so that a test can
// make it fail at link time without costing the program anything.
void* AllocateStreamBlock(uint32_t size);
