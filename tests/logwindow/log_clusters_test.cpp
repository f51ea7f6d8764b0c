#include "logwindow/log_clusters.h"

#include "tests/logwindow/clusters.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::kClusters;

TEST(LogClustersTest, NoCutInsideAClusterAndAnyOutside)
{
    for (const testsupport::ClusterCase& row : kClusters) {
        SCOPED_TRACE(row.name);
        const std::wstring text = L"ab " + row.cluster + L" cd";
        const size_t start = 3;
        const size_t end = start + row.cluster.size();
        for (size_t at = 0; at <= text.size(); ++at) {
            EXPECT_EQ(CanCutBefore(text.data(), text.size(), at), at <= start || at >= end) << at;
        }
    }
}

TEST(LogClustersTest, FlagsPairUpFromTheFirstOfARow)
{
    const std::wstring flags = L"\xD83C\xDDEB\xD83C\xDDF7\xD83C\xDDE9\xD83C\xDDEA";
    EXPECT_TRUE(CanCutBefore(flags.data(), flags.size(), 4));
    EXPECT_FALSE(CanCutBefore(flags.data(), flags.size(), 6));
    // Read across two pieces, as the view's text and what waits behind it.
    const CJoinedText split(flags.data(), 3, flags.data() + 3, flags.size() - 3);
    EXPECT_TRUE(CanCutBefore(split, 4));
    EXPECT_FALSE(CanCutBefore(split, 2));
    EXPECT_FALSE(CanCutBefore(split, 3));
}

}  // namespace
