// A plain output byte buffer that a device owns next to its transport.
#pragma once

#include <cstdint>

class COutStream {
public:
    explicit COutStream(uint32_t capacity);
    virtual ~COutStream();

    COutStream(const COutStream&) = delete;
    COutStream& operator=(const COutStream&) = delete;

    char* buffer;
    char* position;
    uint32_t capacity;
};
