// The rule that keeps the log view near 64K characters: when it trims, and where it cuts.
#include "logwindow/log_view_rule.h"

#include "logwindow/joined_text.h"
#include "logwindow/log_clusters.h"

#include <algorithm>

namespace {

bool IsLowSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

size_t LogTrimEnd(const CLogText& view, const CLogText& waiting, size_t cut)
{
    const CJoinedText text(view.Text(), view.Units(), waiting.Text(), waiting.Units());
    const size_t end = std::min(text.Units(), cut + kLogFarthestBreak);
    for (size_t i = cut; i < end; ++i) {
        if (text[i] == kLogLineBreak) {
            return i + 1;
        }
    }
    // A text of marks alone has no place to start a cluster; it is cut
    // where it is, rather than dropped whole.
    for (size_t i = cut; i <= end; ++i) {
        if (CanCutBefore(text, i)) {
            return i;
        }
    }
    return cut < text.Units() && IsLowSurrogate(text[cut]) ? cut + 1 : cut;
}

size_t LogStepRemoves(const CLogText& view, const CLogText& waiting)
{
    const size_t before = view.Units();
    const size_t after = before + waiting.Units();
    // Where a trim before the insertion would cut; and when many texts came
    // at once, where a trim would leave the view after them.
    size_t cut = 0;
    if (before > kLogTrimAbove) {
        cut = before - kLogKeepAfterTrim;
    }
    if (after - cut > kLogMostShown) {
        cut = after - kLogKeepAfterTrim;
    }
    return cut == 0 ? 0 : LogTrimEnd(view, waiting, cut);
}
