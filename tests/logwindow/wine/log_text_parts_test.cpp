#include "logwindow/wine/log_text_parts.h"

#include "tests/logwindow/clusters.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each cluster is placed at every offset across the longest part's end, in
// words (so the word-end search runs) and in letters alone.
TEST(LogTextPartsTest, PartsNeverEndInsideACluster)
{
    for (const testsupport::ClusterCase& row : testsupport::kClusters) {
        SCOPED_TRACE(row.name);
        for (const wchar_t* filler : {L"word ", L"w"}) {
            for (size_t shift = 0; shift < row.cluster.size(); ++shift) {
                std::wstring text;
                while (text.size() + shift + 1 < kLogPartUnits) {
                    text += filler;
                }
                text.resize(kLogPartUnits - shift - 1, L'w');
                const size_t start = text.size();
                text += row.cluster + std::wstring(kLogPartUnits, L'w');
                const size_t end = PartEnd(CJoinedText(text.data(), text.size()), 0);
                EXPECT_TRUE(end <= start || end >= start + row.cluster.size())
                    << "cut at " << end - start << " with the longest end " << shift + 1
                    << " into it";
            }
        }
    }
}

TEST(LogTextPartsTest, PartsEndAfterAWordInTheirSecondHalf)
{
    std::wstring text(kLogPartUnits * 3, L'w');
    text[kLogPartUnits - 10] = L' ';
    text[kLogPartUnits / 2 - 10] = L' ';  // too early to end a part
    const CJoinedText joined(text.data(), text.size());
    EXPECT_EQ(PartEnd(joined, 0), kLogPartUnits - 9);
    // No word end: as late as the longest part.
    EXPECT_EQ(PartEnd(joined, kLogPartUnits), 2 * kLogPartUnits);
    EXPECT_EQ(PartEnd(joined, 2 * kLogPartUnits), text.size());
}

}  // namespace
