// Texts as senders send them, for the log view's tests.
#pragma once

#include "logwindow/log_text.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// `length` characters of words, numbers and spaces, as senders send them.
// (Under Wine the view wraps a long paragraph of letters alone in time that
// grows with the square of its length; numbers keep it linear.)
inline std::wstring Words(size_t length, wchar_t letter = L'w')
{
    std::wstring text;
    for (size_t i = 0; i < length; ++i) {
        const size_t column = i % 10;
        const auto digit = static_cast<wchar_t>(L'0' + (i / 10 + column) % 10);
        text += column == 9 ? L' ' : column < 6 ? letter : digit;
    }
    return text;
}

// A text of `length` positions made of lines of `lineLength` positions each
// (the last one without its break), with `lineBreak` between the lines.
inline std::wstring Lines(size_t length, size_t lineLength, const std::wstring& lineBreak = L"\n")
{
    std::wstring text;
    size_t positions = 0;
    while (positions < length) {
        const size_t body = std::min(lineLength - 1, length - positions);
        text += Words(body, static_cast<wchar_t>(L'a' + positions % 26));
        positions += body;
        if (positions < length) {
            text += lineBreak;
            ++positions;
        }
    }
    return text;
}

// A text of `units` 'x' with a line break (as the view counts one) every
// `every` units (0: none), then `placed` units set.
inline std::wstring Filled(size_t units, size_t every = 0,
                           const std::vector<std::pair<size_t, wchar_t>>& placed = {})
{
    std::wstring text(units, L'x');
    for (size_t at = every; every > 0 && at <= units; at += every) {
        text[at - 1] = kLogLineBreak;
    }
    for (const auto& [at, unit] : placed) {
        text[at] = unit;
    }
    return text;
}

// A CLogText that holds `units`.
class CLogTextOf : public CLogText {
public:
    explicit CLogTextOf(const std::wstring& units) { Append(units.data(), units.size()); }
};

}  // namespace testsupport
