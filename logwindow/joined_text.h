// Text read unit by unit in one or two pieces, as the view's text and what waits behind it, without joining them.
#pragma once

#include <cstddef>

class CJoinedText {
public:
    CJoinedText(const wchar_t* text, size_t units) : CJoinedText(text, units, nullptr, 0) {}
    CJoinedText(const wchar_t* first, size_t firstUnits, const wchar_t* second, size_t secondUnits)
        : head(first), headUnits(firstUnits), tail(second), tailUnits(secondUnits)
    {
    }

    size_t Units() const { return headUnits + tailUnits; }
    wchar_t operator[](size_t at) const
    {
        return at < headUnits ? head[at] : tail[at - headUnits];
    }

private:
    const wchar_t* head;
    size_t headUnits;
    const wchar_t* tail;
    size_t tailUnits;
};
