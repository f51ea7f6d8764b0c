// Gathers the texts of several datagrams and queues them for the log window as one text.
#include "logwindow/log_append_batch.h"

#include "logwindow/log_append.h"
#include "runtime/text_conversion.h"

#include <cstdlib>
#include <cstring>

CLogAppendBatch::CLogAppendBatch() : pending(nullptr), used(0), capacity(0) {}

CLogAppendBatch::~CLogAppendBatch()
{
    free(pending);
}

bool CLogAppendBatch::Reserve(size_t bytes)
{
    if (bytes <= capacity) {
        return true;
    }
    size_t grown = capacity == 0 ? bytes : capacity;
    while (grown < bytes) {
        grown *= 2;
    }
    auto* larger = static_cast<char*>(realloc(pending, grown));
    if (larger == nullptr) {
        return false;
    }
    pending = larger;
    capacity = grown;
    return true;
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
    if (used > 0 && used + length + 1 > kMostPendingBytes) {
        Flush();
    }
    if (!Reserve(used + length + 1)) {
        // Short of memory: what is kept so far goes first, then try again.
        Flush();
        if (!Reserve(length + 1)) {
            return false;
        }
    }
    memcpy(pending + used, data, length);
    pending[used + length] = '\0';
    used += length + 1;
    return true;
}

void CLogAppendBatch::Flush()
{
    if (used == 0) {
        return;
    }
    size_t units = 0;
    for (size_t at = 0; at < used; at += strlen(pending + at) + 1) {
        units += Utf16UnitsOfUtf8(pending + at);
    }
    auto* text = static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t)));
    if (text != nullptr) {
        wchar_t* out = text;
        for (size_t at = 0; at < used; at += strlen(pending + at) + 1) {
            out = DecodeUtf8Into(pending + at, out);
        }
        *out = L'\0';
    }
    used = 0;
    if (text == nullptr) {
        return;  // the memory for the text could not be had: this batch is lost
    }
    QueueTextForLog(text, units);
}
