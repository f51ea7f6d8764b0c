// Decodes the texts of several datagrams into one text for the log window.
#include "logwindow/log_append_batch.h"

#include "logwindow/wide_buffer.h"
#include "runtime/text_conversion.h"

#include <cstdlib>
#include <cstring>
#include <memory>

// A datagram's bytes are copied here to be zero-terminated for the decoder;
// a longer text takes memory from the heap.
static constexpr size_t kStackTextBytes = 1024;

CLogAppendBatch::CLogAppendBatch() : text(nullptr), units(0), capacity(0) {}

CLogAppendBatch::~CLogAppendBatch()
{
    free(text);
}

bool CLogAppendBatch::Reserve(size_t needed)
{
    return GrowWideBuffer(text, capacity, needed);
}

bool CLogAppendBatch::Add(const char* data, size_t count)
{
    if (data == nullptr || count == 0) {
        return true;  // nothing to show
    }
    const void* zero = memchr(data, '\0', count);
    const size_t length = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - data)
                                          : count;
    if (length == 0) {
        return true;
    }
    char onStack[kStackTextBytes + 1];
    std::unique_ptr<char, decltype(&free)> onHeap(nullptr, &free);
    char* copy = onStack;
    if (length > kStackTextBytes) {
        onHeap.reset(static_cast<char*>(malloc(length + 1)));
        copy = onHeap.get();
    }
    // A UTF-8 sequence never gives more UTF-16 units than it has bytes.
    if (copy == nullptr || !Reserve(units + length + 1)) {
        return false;
    }
    memcpy(copy, data, length);
    copy[length] = '\0';
    wchar_t* end = DecodeUtf8Into(copy, text + units);
    *end = L'\0';
    units = static_cast<size_t>(end - text);
    return true;
}
