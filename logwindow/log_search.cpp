// Find in the log view's text, unit by unit, as the view holds it.
#include "logwindow/log_search.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace {

constexpr size_t kUnitCount = 0x10000;
constexpr size_t kFoldChunk = 1024;  // divides the surrogate range exactly
constexpr size_t kFirstSurrogate = 0xD800;
constexpr size_t kPastSurrogates = 0xE000;
static_assert(kFirstSurrogate % kFoldChunk == 0 && kPastSurrogates % kFoldChunk == 0);

// Every unit's uppercase, the form in which CompareStringOrdinal compares
// units when it ignores case.
struct CaseFold {
    CaseFold();
    wchar_t Of(wchar_t unit) const { return upper[static_cast<size_t>(unit)]; }

    wchar_t upper[kUnitCount];
};

CaseFold::CaseFold()
{
    wchar_t chunk[kFoldChunk];
    for (size_t first = 0; first < kUnitCount; first += kFoldChunk) {
        for (size_t i = 0; i < kFoldChunk; ++i) {
            chunk[i] = static_cast<wchar_t>(first + i);
        }
        wmemcpy(upper + first, chunk, kFoldChunk);
        // Surrogates keep their own units: the ordinal comparison upcases
        // unit by unit, and half a pair has no case.
        if (first >= kFirstSurrogate && first < kPastSurrogates) {
            continue;
        }
        // The invariant locale's uppercase comes from the system's per-unit
        // table, as the ordinal comparison's does. Should a chunk fail, its
        // letters match only in their own case.
        const int length = static_cast<int>(kFoldChunk);
        if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, chunk, length, upper + first,
                          length, nullptr, nullptr, 0) != length) {
            wmemcpy(upper + first, chunk, kFoldChunk);
            continue;
        }
        // Should the tables ever differ, the comparison's own verdict wins:
        // a unit only folds to a unit the comparison calls equal to it.
        for (size_t i = 0; i < kFoldChunk; ++i) {
            wchar_t& folded = upper[first + i];
            if (folded != chunk[i] &&
                CompareStringOrdinal(&chunk[i], 1, &folded, 1, TRUE) != CSTR_EQUAL) {
                folded = chunk[i];
            }
        }
    }
}

// Built on the first search that ignores case; C++ makes that first use
// thread-safe.
const CaseFold& Fold()
{
    static const CaseFold fold;
    return fold;
}

bool IsWordUnit(wchar_t unit)
{
    if (IsCharAlphaNumericW(unit)) {
        return true;
    }
    // A combining mark belongs to the word of the letter before it.
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE3, &unit, 1, &type) &&
           (type & (C3_NONSPACING | C3_DIACRITIC)) != 0;
}

// A match must not start or end between a pair's halves: selecting it would
// cut an emoji in two.
bool SplitsPair(const wchar_t* text, size_t units, size_t at)
{
    return at > 0 && at < units && IS_SURROGATE_PAIR(text[at - 1], text[at]);
}

bool SameUnits(const wchar_t* at, const LogSearch& search, const CaseFold* fold)
{
    if (fold == nullptr) {
        return wmemcmp(at, search.pattern, search.patternUnits) == 0;
    }
    for (size_t i = 0; i < search.patternUnits; ++i) {
        if (fold->Of(at[i]) != fold->Of(search.pattern[i])) {
            return false;
        }
    }
    return true;
}

// The text's start and end are boundaries: after a trim the view may begin
// mid-word, and that tail is then a word of its own.
bool StandsAlone(const wchar_t* text, size_t units, size_t start, size_t end)
{
    return (start == 0 || !IsWordUnit(text[start - 1])) &&
           (end == units || !IsWordUnit(text[end]));
}

bool MatchesAt(const wchar_t* text, size_t units, size_t start, const LogSearch& search,
               const CaseFold* fold, wchar_t first)
{
    const wchar_t unit = fold == nullptr ? text[start] : fold->Of(text[start]);
    if (unit != first || !SameUnits(text + start, search, fold)) {
        return false;
    }
    const size_t end = start + search.patternUnits;
    if (SplitsPair(text, units, start) || SplitsPair(text, units, end)) {
        return false;
    }
    return !search.wholeWord || StandsAlone(text, units, start, end);
}

}  // namespace

bool FindInLogText(const wchar_t* text, size_t units, size_t from, const LogSearch& search,
                   size_t* found)
{
    const size_t length = search.patternUnits;
    if (length == 0 || length > units) {
        return false;
    }
    const CaseFold* fold = search.matchCase ? nullptr : &Fold();
    // Compared first at every start, so folded once here.
    const wchar_t first = fold == nullptr ? search.pattern[0] : fold->Of(search.pattern[0]);
    const size_t lastStart = units - length;
    if (search.down) {
        for (size_t start = from; start <= lastStart; ++start) {
            if (MatchesAt(text, units, start, search, fold, first)) {
                *found = start;
                return true;
            }
        }
        return false;
    }
    if (from < length) {
        return false;
    }
    for (size_t start = std::min(from - length, lastStart) + 1; start-- > 0;) {
        if (MatchesAt(text, units, start, search, fold, first)) {
            *found = start;
            return true;
        }
    }
    return false;
}
