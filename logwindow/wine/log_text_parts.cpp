// Where the Wine control's text is cut into parts that its control shapes on their own.
//
// Wine's control lays a paragraph out again at every change, at a cost that
// grows with the square of its longest run; parts in alternating formats
// never join into one run, which keeps that cost in proportion to the text.
#include "logwindow/wine/log_text_parts.h"

#include "logwindow/log_clusters.h"
#include "logwindow/log_text.h"

namespace {

// A part ends after a space or line break in its second half, else as late
// as it may.
constexpr size_t kShortestWordPart = kLogPartUnits / 2;

bool EndsWord(wchar_t unit)
{
    return unit == L' ' || unit == L'\t' || unit == kLogLineBreak;
}

}  // namespace

size_t PartEnd(const CJoinedText& text, size_t start)
{
    const size_t units = text.Units();
    if (units - start <= kLogPartUnits) {
        return units;
    }
    const size_t longest = start + kLogPartUnits;
    for (size_t end = longest; end >= start + kShortestWordPart; --end) {
        if (EndsWord(text[end - 1]) && CanCutBefore(text, end)) {
            return end;
        }
    }
    for (size_t end = longest; end > start; --end) {
        if (CanCutBefore(text, end)) {
            return end;
        }
    }
    for (size_t end = longest + 1; end < units; ++end) {
        if (CanCutBefore(text, end)) {
            return end;
        }
    }
    return units;
}
