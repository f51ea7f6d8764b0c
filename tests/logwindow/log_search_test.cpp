#include "logwindow/log_search.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string_view>

namespace {

enum : int { kCase = 1, kWord = 2, kUp = 4 };
constexpr size_t kNone = ~size_t{0};

TEST(LogSearchTest, FindsTheNearestOccurrenceThatFitsTheRules)
{
    struct Case {
        const char* name;
        std::wstring_view text, pattern;
        int flags;
        size_t from, found;  // found: kNone for no match
    };
    const Case cases[] = {
        {"case ignored", L"Kernel: KERNEL", L"kernel", 0, 0, 0},
        {"Latin-1 case ignored", L"une \x00C9" L"COLE", L"\x00E9" L"cole", 0, 0, 4},
        {"Cyrillic case kept", L"\x0434\x0430 \x0414\x0410", L"\x0414\x0410", kCase, 0, 3},
        {"whole word skips a word's head", L"kernel: kern", L"kern", kWord, 0, 8},
        {"whole word skips a longer one", L"192.0.2.100 192.0.2.10", L"192.0.2.10", kWord, 0, 12},
        {"punctuation is a boundary", L"[UFW BLOCK]", L"ufw", kWord, 0, 1},
        {"an accented letter is a word unit", L"\x00E9" L"cole", L"cole", kWord, 0, kNone},
        {"down from mid-word", L"ab ab ab", L"ab", 0, 1, 3},
        {"up takes one ending at from", L"ab ab ab", L"ab", kUp, 5, 3},
        {"up skips one ending past from", L"ab ab ab", L"ab", kUp, 4, 0},
        {"up from past the end", L"ab ab", L"ab", kUp, kNone, 3},
        {"overlap down", L"aaaa", L"aaa", 0, 1, 1},
        {"overlap down, none left", L"aaaa", L"aaa", 0, 2, kNone},
        {"overlap up", L"aaaa", L"aaa", kUp, 4, 1},
        {"whole word at the end, up", L"abc xyz", L"xyz", kWord | kUp, 7, 4},
        {"empty pattern", L"abc", L"", 0, 0, kNone},
        {"pattern longer than the text", L"ab", L"abc", 0, 0, kNone},
        {"emoji exactly", L"hi \xD83D\xDE00 \xD83D\xDE01", L"\xD83D\xDE01", kWord, 0, 6},
        {"never a pair's high half", L"hi \xD83D\xDE00", L"\xD83D", 0, 0, kNone},
        {"never a pair's low half", L"hi \xD83D\xDE00", L"\xDE00", 0, 0, kNone},
        {"combining mark is in the word", L"e\x0301 e", L"e", kWord, 0, 3},
        {"combining mark exactly", L"e\x0301 e", L"e\x0301", kWord, 0, 0},
        {"U+FFFD exactly", L"bad \xFFFD byte", L"\xFFFD", kWord, 0, 4},
        {"line break in the pattern", L"one\rtwo", L"e\rt", 0, 0, 2},
        {"trimmed word's tail is a word", L"ernel: kernel", L"ernel", kWord, 0, 0},
        {"trimmed word's tail, not again", L"ernel: kernel", L"ernel", kWord, 1, kNone},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const LogSearch search{row.pattern.data(), row.pattern.size(), (row.flags & kCase) != 0,
                               (row.flags & kWord) != 0, (row.flags & kUp) == 0};
        size_t found = 0;
        const bool hit = FindInLogText(row.text.data(), row.text.size(), row.from, search, &found);
        EXPECT_EQ(hit ? found : kNone, row.found);
    }
}

TEST(LogSearchTest, IgnoresCaseAsTheOrdinalComparisonDoes)
{
    // Final sigma, Turkish i's, a title-case digraph, Kelvin and long s, halves of a pair.
    const std::wstring_view units = L"aAkKsSzZ09 \x00E9\x00C9\x00FF\x0178\x00DF\x03C3\x03C2\x03A3"
                                    L"\x0436\x0416iI\x0130\x0131\x01C4\x01C5\x01C6\x212A\x017F"
                                    L"\xD801\xDC00\xDC28\xFFFD";
    for (wchar_t a : units) {
        for (wchar_t b : units) {
            size_t found = 0;
            const bool same = CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
            EXPECT_EQ(FindInLogText(&b, 1, 0, {&a, 1, false, false, true}, &found), same)
                << std::hex << static_cast<int>(a) << " in " << static_cast<int>(b);
        }
    }
}

}  // namespace
