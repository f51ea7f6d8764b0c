// A plain output byte buffer that a device owns next to its transport.
#include "transport/out_stream.h"

#include "transport/allocate_stream_block.h"

#include <cstdlib>

// A block that cannot be had leaves capacity 0, so no one writes through null.
COutStream::COutStream(uint32_t requestedCapacity)
    : buffer(nullptr), position(nullptr), capacity(0)
{
    buffer = static_cast<char*>(AllocateStreamBlock(requestedCapacity));
    if (buffer != nullptr) {
        capacity = requestedCapacity;
    }
    position = buffer;
}

COutStream::~COutStream()
{
    if (buffer != nullptr) {
        free(buffer);
        buffer = nullptr;
    }
}
