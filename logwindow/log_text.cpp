// A growable UTF-16 text with every line break as one unit, as the log view counts characters.
#include "logwindow/log_text.h"

#include "logwindow/wide_buffer.h"

#include <cstdlib>
#include <cwchar>
#include <utility>

CLogText::CLogText() : text(nullptr), units(0), capacity(0) {}

CLogText::~CLogText()
{
    free(text);
}

bool CLogText::Reserve(size_t count)
{
    return GrowWideBuffer(text, capacity, count + 1);
}

bool CLogText::Append(const wchar_t* added, size_t count)
{
    if (count == 0) {
        return true;
    }
    if (!Reserve(units + count)) {
        return false;
    }
    wmemcpy(text + units, added, count);
    units += count;
    text[units] = L'\0';
    return true;
}

bool CLogText::AppendWithLineBreaks(const wchar_t* added, size_t count)
{
    if (count == 0) {
        return true;
    }
    // Breaks only ever shrink the text.
    if (!Reserve(units + count)) {
        return false;
    }
    wchar_t* out = text + units;
    for (size_t i = 0; i < count; ++i) {
        const wchar_t unit = added[i];
        if (unit == L'\r') {
            *out++ = kLogLineBreak;
            if (i + 1 < count && added[i + 1] == L'\n') {
                ++i;
            }
        } else if (unit == L'\n') {
            *out++ = kLogLineBreak;
        } else if (unit != L'\0') {
            *out++ = unit;
        }
    }
    units = static_cast<size_t>(out - text);
    text[units] = L'\0';
    return true;
}

void CLogText::RemoveFront(size_t count)
{
    if (count >= units) {
        Clear();
        return;
    }
    wmemmove(text, text + count, units - count + 1);
    units -= count;
}

void CLogText::SwapWith(CLogText& other)
{
    std::swap(text, other.text);
    std::swap(units, other.units);
    std::swap(capacity, other.capacity);
}
