// Where the log view's text may be cut without splitting what is drawn as one.
//
// A trim's cut starts what the view shows, and under Wine each part of the
// view's text is shaped on its own. A cut inside a grapheme cluster, or
// between letters that join, draws each half on its own: a mark apart from
// its base (or with no base at all), an emoji family as its members, a flag
// as two letters, an Indic conjunct as a virama and a consonant, Arabic
// letters in their isolated forms.
#include "logwindow/log_clusters.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace {

// Below this no character joins another, and none is a mark.
constexpr char32_t kFirstMark = 0x0300;

struct Range {
    char32_t first;
    char32_t last;
};

bool InRanges(char32_t point, const Range* ranges, size_t count)
{
    return std::any_of(ranges, ranges + count,
                       [point](const Range& range) { return point >= range.first && point <= range.last; });
}

// Marks the system's character types may not know, and those outside the
// BMP, where it cannot tell.
constexpr Range kMarks[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0E33, 0x0E33},   {0x0EB3, 0x0EB3},
    {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x20D0, 0x20FF},   {0xFE20, 0xFE2F},
    {0x1D165, 0x1D169}, {0x1D16D, 0x1D172}, {0x1D17B, 0x1D182},
};
// Variation selectors, emoji modifiers and tags: they change what comes before.
constexpr Range kModifiers[] = {
    {0xFE00, 0xFE0F}, {0x1F3FB, 0x1F3FF}, {0xE0020, 0xE007F}, {0xE0100, 0xE01EF},
};
// Hangul vowels and final consonants join the jamo before them...
constexpr Range kJamoFollowers[] = {{0x1160, 0x11FF}, {0xD7B0, 0xD7FF}};
// ...and leading consonants the jamo after them.
constexpr Range kJamoLeaders[] = {{0x1100, 0x115F}, {0xA960, 0xA97F}};
// Scripts whose letters join their neighbours.
constexpr Range kJoiningScripts[] = {
    {0x0600, 0x074F}, {0x0750, 0x077F}, {0x07C0, 0x07FF}, {0x0840, 0x085F},
    {0x0860, 0x08FF}, {0x1800, 0x18AF}, {0xA840, 0xA877}, {0xFB50, 0xFDFF},
    {0xFE70, 0xFEFF},
};
// Viramas: each joins the consonant after it into a conjunct.
constexpr char32_t kViramas[] = {
    0x094D, 0x09CD, 0x0A4D, 0x0ACD, 0x0B4D, 0x0BCD, 0x0C4D, 0x0CCD, 0x0D3B, 0x0D3C,
    0x0D4D, 0x0DCA, 0x0E3A, 0x0EBA, 0x0F84, 0x1039, 0x103A, 0x1714, 0x1715, 0x1734,
    0x17D2, 0x1A60, 0x1B44, 0x1BAA, 0x1BAB, 0x1BF2, 0x1BF3, 0x2D7F, 0xA806, 0xA82C,
    0xA8C4, 0xA953, 0xA9C0, 0xAAF6, 0xABED,
};
constexpr char32_t kZeroWidthNonJoiner = 0x200C;
constexpr char32_t kZeroWidthJoiner = 0x200D;
constexpr Range kRegionalIndicators = {0x1F1E6, 0x1F1FF};

bool IsHighSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

char32_t Joined(wchar_t high, wchar_t low)
{
    return 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) +
           (static_cast<char32_t>(low) - 0xDC00);
}

// The character that begins at `at`, and the one that ends just before it.
char32_t PointAt(const CJoinedText& text, size_t at)
{
    if (IsHighSurrogate(text[at]) && at + 1 < text.Units() && IsLowSurrogate(text[at + 1])) {
        return Joined(text[at], text[at + 1]);
    }
    return text[at];
}

size_t PointBefore(const CJoinedText& text, size_t at, char32_t* point)
{
    if (at >= 2 && IsLowSurrogate(text[at - 1]) && IsHighSurrogate(text[at - 2])) {
        *point = Joined(text[at - 2], text[at - 1]);
        return at - 2;
    }
    *point = text[at - 1];
    return at - 1;
}

bool IsMark(char32_t point)
{
    if (InRanges(point, kMarks, std::size(kMarks))) {
        return true;
    }
    if (point > 0xFFFF) {
        return false;
    }
    const wchar_t unit = static_cast<wchar_t>(point);
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE3, &unit, 1, &type) &&
           (type & (C3_NONSPACING | C3_DIACRITIC | C3_VOWELMARK)) != 0;
}

bool IsRegionalIndicator(char32_t point)
{
    return point >= kRegionalIndicators.first && point <= kRegionalIndicators.last;
}

// Regional indicators pair up from the first of a row: a cut is allowed
// only after an even number of them.
bool EndsOddRegionalIndicators(const CJoinedText& text, size_t at)
{
    size_t count = 0;
    char32_t point = 0;
    while (at > 0) {
        at = PointBefore(text, at, &point);
        if (!IsRegionalIndicator(point)) {
            break;
        }
        ++count;
    }
    return count % 2 == 1;
}

}  // namespace

bool CanCutBefore(const CJoinedText& text, size_t at)
{
    if (at == 0 || at >= text.Units()) {
        return true;
    }
    if (IsHighSurrogate(text[at - 1]) && IsLowSurrogate(text[at])) {
        return false;
    }
    char32_t before = 0;
    PointBefore(text, at, &before);
    const char32_t after = PointAt(text, at);
    if (before < kFirstMark && after < kFirstMark) {
        return true;  // most of a log
    }
    if (after == kZeroWidthJoiner || after == kZeroWidthNonJoiner || before == kZeroWidthJoiner ||
        IsMark(after) || InRanges(after, kModifiers, std::size(kModifiers)) ||
        InRanges(after, kJamoFollowers, std::size(kJamoFollowers)) ||
        InRanges(before, kJamoLeaders, std::size(kJamoLeaders)) ||
        std::find(std::begin(kViramas), std::end(kViramas), before) != std::end(kViramas)) {
        return false;
    }
    if (IsRegionalIndicator(before) && IsRegionalIndicator(after)) {
        return !EndsOddRegionalIndicators(text, at);
    }
    return !(InRanges(before, kJoiningScripts, std::size(kJoiningScripts)) &&
             InRanges(after, kJoiningScripts, std::size(kJoiningScripts)));
}
