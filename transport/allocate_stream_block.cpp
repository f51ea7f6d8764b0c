// The one place where the stream buffers get their blocks.
#include "transport/allocate_stream_block.h"

#include <cstdlib>

void* AllocateStreamBlock(uint32_t size)
{
    return malloc(size);
}
