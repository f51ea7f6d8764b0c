// Link-time stand-in for the stream block allocation, able to fail on request.
#include "tests/support/failing_allocate_stream_block.h"

#include "transport/allocate_stream_block.h"

#include <cstdlib>

std::atomic<bool> gFailStreamAllocation{false};

void* AllocateStreamBlock(uint32_t size)
{
    if (gFailStreamAllocation.load()) {
        return nullptr;
    }
    return malloc(size);
}
