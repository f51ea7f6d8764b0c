// What one step of the log view removes, and how: the rule that keeps the view near 64K characters.
#include "logwindow/log_view_plan.h"

#include <algorithm>

namespace {

// The view's text followed by the waiting text, without joining them.
class CJoined {
public:
    CJoined(const CLogText& first, const CLogText& second) : head(first), tail(second) {}

    size_t Units() const { return head.Units() + tail.Units(); }
    wchar_t At(size_t i) const
    {
        return i < head.Units() ? head.Text()[i] : tail.Text()[i - head.Units()];
    }

private:
    const CLogText& head;
    const CLogText& tail;
};

bool IsLowSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Whether deleting the first `removed` characters of `view` touches a long
// paragraph: one of those deleted, or the one that holds the new start.
bool TouchesLongParagraph(const CLogText& view, size_t removed)
{
    const wchar_t* text = view.Text();
    size_t start = 0;
    for (size_t i = 0; i < view.Units(); ++i) {
        if (text[i] != kLogLineBreak) {
            continue;
        }
        if (i - start > kLogLongParagraph) {
            return true;
        }
        if (i >= removed) {
            return false;
        }
        start = i + 1;
    }
    return view.Units() - start > kLogLongParagraph;
}

}  // namespace

size_t LogTrimEnd(const CLogText& view, const CLogText& waiting, size_t cut)
{
    const CJoined text(view, waiting);
    const size_t end = std::min(text.Units(), cut + kLogFarthestBreak);
    for (size_t i = cut; i < end; ++i) {
        if (text.At(i) == kLogLineBreak) {
            return i + 1;
        }
    }
    return cut < text.Units() && IsLowSurrogate(text.At(cut)) ? cut + 1 : cut;
}

LogViewStep PlanLogViewStep(const CLogText& view, const CLogText& waiting, size_t kept)
{
    const size_t before = view.Units();
    const size_t after = before + waiting.Units();
    // Where a trim before the insertion would cut; and when many texts came
    // at once, where a trim would leave the view after them.
    size_t cut = 0;
    if (before > kLogTrimAbove) {
        cut = before - kept;
    }
    if (after - cut > kLogTrimAbove + kLogMostPastTrim) {
        cut = after - kept;
    }
    if (cut == 0) {
        return {0, false};
    }
    const size_t removed = LogTrimEnd(view, waiting, cut);
    return {removed, TouchesLongParagraph(view, std::min(removed, before))};
}
