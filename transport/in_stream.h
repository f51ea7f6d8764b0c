// A byte buffer that appends and makes room for new bytes by its overflow mode.
#pragma once

#include <cstdint>

// What Write does when the new bytes do not fit even after the stored bytes
// have been moved to the front. Any other value refuses such a write.
enum OverflowMode : uint8_t {
    KeepNewest = 1,
    Grow = 2,
};

class CInStream {
public:
    CInStream(uint32_t capacity, OverflowMode mode);
    virtual ~CInStream();

    CInStream(const CInStream&) = delete;
    CInStream& operator=(const CInStream&) = delete;

    // True when all n bytes were stored; on false nothing has changed.
    virtual bool Write(const char* data, uint32_t n);

    // Stored bytes run from readPos to writePos:
    // buffer <= readPos <= writePos <= buffer + capacity.
    char* buffer;
    uint32_t capacity;
    char* writePos;
    char* readPos;
    OverflowMode mode;
    bool ownsBuffer;

private:
    void Append(const char* data, uint32_t n);
    bool KeepNewestBytes(const char* data, uint32_t n);
    bool GrowBy(const char* data, uint32_t n);
};
