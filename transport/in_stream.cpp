// A byte buffer that appends and makes room for new bytes by its overflow mode.
#include "transport/in_stream.h"

#include "transport/allocate_stream_block.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

static_assert(KeepNewest == 1 && Grow == 2, "overflow mode values changed");
static_assert(sizeof(OverflowMode) == 1, "the mode is one byte");

// A block that cannot be had leaves an empty stream of capacity 0, which only
// Grow can bring back into use.
CInStream::CInStream(uint32_t requestedCapacity, OverflowMode overflowMode)
    : buffer(nullptr), capacity(0), writePos(nullptr), readPos(nullptr), mode(overflowMode),
      ownsBuffer(true)
{
    buffer = static_cast<char*>(AllocateStreamBlock(requestedCapacity));
    if (buffer != nullptr) {
        capacity = requestedCapacity;
        memset(buffer, 0, capacity);
    }
    writePos = buffer;
    readPos = buffer;
}

CInStream::~CInStream()
{
    if (ownsBuffer && buffer != nullptr) {
        free(buffer);
        buffer = nullptr;
    }
}

bool CInStream::Write(const char* data, uint32_t n)
{
    if (n == 0) {
        return true;
    }
    const auto stored = static_cast<uint32_t>(writePos - readPos);
    const auto tailRoom = static_cast<uint32_t>(buffer + capacity - writePos);
    const uint32_t freeRoom = capacity - stored;

    if (tailRoom >= n) {
        Append(data, n);
        return true;
    }
    if (freeRoom >= n) {
        // The consumed bytes before readPos make up the difference.
        memmove(buffer, readPos, stored);
        readPos = buffer;
        writePos = buffer + stored;
        Append(data, n);
        return true;
    }
    switch (mode) {
    case KeepNewest:
        return KeepNewestBytes(data, n);
    case Grow:
        return GrowBy(data, n);
    default:
        return false;
    }
}

void CInStream::Append(const char* data, uint32_t n)
{
    memcpy(writePos, data, n);
    writePos += n;
}

// Leaves the buffer exactly full with the newest bytes of what was stored
// followed by the new ones. Counting from writePos rather than from the start
// of the block keeps the newest bytes even when readPos has moved.
bool CInStream::KeepNewestBytes(const char* data, uint32_t n)
{
    if (capacity == 0) {
        return false;  // nothing could be kept: do not claim success
    }
    if (n >= capacity) {
        memcpy(buffer, data + (n - capacity), capacity);
        readPos = buffer;
        writePos = buffer + capacity;
        return true;
    }
    const uint32_t keep = capacity - n;  // fewer than stored, or the write would have fit
    memmove(buffer, writePos - keep, keep);
    readPos = buffer;
    writePos = buffer + keep;
    Append(data, n);
    return true;
}

// Grows by exactly n, so the room after the stored bytes equals the free room
// before the write. Nothing changes when the new size does not fit the 32-bit
// capacity or the block cannot be had.
bool CInStream::GrowBy(const char* data, uint32_t n)
{
    if (n > UINT32_MAX - capacity) {
        return false;
    }
    const uint32_t grownCapacity = capacity + n;
    auto* block = static_cast<char*>(AllocateStreamBlock(grownCapacity));
    if (block == nullptr) {
        return false;
    }
    const auto stored = static_cast<uint32_t>(writePos - readPos);
    if (stored > 0) {
        memcpy(block, readPos, stored);
    }
    if (ownsBuffer && buffer != nullptr) {
        free(buffer);
    }
    buffer = block;
    ownsBuffer = true;
    capacity = grownCapacity;
    readPos = block;
    writePos = block + stored;
    Append(data, n);
    return true;
}
