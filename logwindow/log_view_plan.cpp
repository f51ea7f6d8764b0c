// What one step of the log view removes, and how: the rule that keeps the view near 64K characters.
#include "logwindow/log_view_plan.h"

#include <algorithm>

// A paragraph longer than this is long: deleting from it, or joining it to
// what is deleted before it, makes the control shift every run of it for
// each run deleted. Deleting whole paragraphs of up to this length costs
// about the same as short lines.
static constexpr size_t kLongParagraph = 4096;

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

// Where a cut that begins at `cut` ends: just past the first line break
// within kLogFarthestBreak, so that what stays starts with a whole line.
// Without one, at `cut` itself, moved past the second half of a surrogate
// pair: a single far break must not cut far below what is kept.
size_t CutEnd(const CJoined& text, size_t cut)
{
    const size_t end = std::min(text.Units(), cut + kLogFarthestBreak);
    for (size_t i = cut; i < end; ++i) {
        if (text.At(i) == kLogLineBreak) {
            return i + 1;
        }
    }
    return cut < text.Units() && IsLowSurrogate(text.At(cut)) ? cut + 1 : cut;
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
        if (i - start > kLongParagraph) {
            return true;
        }
        if (i >= removed) {
            return false;
        }
        start = i + 1;
    }
    return view.Units() - start > kLongParagraph;
}

}  // namespace

LogViewStep PlanLogViewStep(const CLogText& view, const CLogWaitingText& waiting)
{
    const size_t before = view.Units();
    const size_t after = before + waiting.Units();
    size_t cut = 0;
    if (waiting.Dropped()) {
        // More came than any view keeps: only its newest part stays.
        cut = after - std::min(after, kLogKeepAfterTrim);
    } else {
        // Where a trim before the insertion would cut; and when many texts
        // came at once, where a trim would leave the view after them.
        if (before > kLogTrimAbove) {
            cut = before - kLogKeepAfterTrim;
        }
        if (after - cut > kLogTrimAbove + kLogMostPastTrim) {
            cut = after - kLogKeepAfterTrim;
        }
    }
    if (cut == 0) {
        return {0, false};
    }
    const size_t removed = CutEnd(CJoined(view, waiting.Held()), cut);
    if (removed >= before) {
        // Nothing of the view stays: a new one costs less than emptying it.
        return {removed, before > 0};
    }
    return {removed, TouchesLongParagraph(view, removed)};
}
