#include "logwindow/log_text_parts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ClusterCase {
    const char* name;
    std::wstring cluster;  // drawn as one: no part may end inside it
};

const ClusterCase kClusters[] = {
    {"a surrogate pair", L"\xD83D\xDE00"},
    {"an emoji family joined by ZWJ", L"\xD83D\xDC68\x200D\xD83D\xDC69\x200D\xD83D\xDC67"},
    {"a flag", L"\xD83C\xDDEB\xD83C\xDDF7"},
    {"a skin tone", L"\xD83D\xDC4D\xD83C\xDFFD"},
    {"a variation selector", L"\x2764\xFE0F"},
    {"a Devanagari conjunct after its virama", L"\x0915\x094D\x0937"},
    {"Arabic letters that join", L"\x0633\x0644\x0627\x0645"},
    {"marks on their base", L"e\x0301\x0323"},
    {"a mark after a space", L" \x0301"},
    {"Hangul jamo", L"\x1100\x1161\x11A8"},
};

// Each cluster is placed at every offset across the longest part's end, in
// words (so the word-end search runs) and in letters alone.
TEST(LogTextPartsTest, PartsNeverEndInsideACluster)
{
    for (const ClusterCase& row : kClusters) {
        SCOPED_TRACE(row.name);
        for (size_t inner = 1; inner < row.cluster.size(); ++inner) {
            EXPECT_FALSE(CanCutBefore(row.cluster.data(), row.cluster.size(), inner)) << inner;
        }
        for (const wchar_t* filler : {L"word ", L"w"}) {
            for (size_t shift = 0; shift < row.cluster.size(); ++shift) {
                std::wstring text;
                while (text.size() + shift + 1 < kLogPartUnits) {
                    text += filler;
                }
                text.resize(kLogPartUnits - shift - 1, L'w');
                const size_t start = text.size();
                text += row.cluster + std::wstring(kLogPartUnits, L'w');
                const size_t end = PartEnd(text.data(), text.size(), 0);
                EXPECT_TRUE(end <= start || end >= start + row.cluster.size())
                    << "cut at " << end - start << " with the longest end " << shift + 1
                    << " into it";
            }
        }
    }
}

TEST(LogTextPartsTest, FlagsPairUpAndPlainTextCutsAnywhere)
{
    const std::wstring flags = L"\xD83C\xDDEB\xD83C\xDDF7\xD83C\xDDE9\xD83C\xDDEA";
    EXPECT_TRUE(CanCutBefore(flags.data(), flags.size(), 4));
    EXPECT_FALSE(CanCutBefore(flags.data(), flags.size(), 6));
    const std::wstring plain = L"ab \x00E9\x0433";
    for (size_t at = 0; at <= plain.size(); ++at) {
        EXPECT_TRUE(CanCutBefore(plain.data(), plain.size(), at)) << at;
    }
}

}  // namespace
