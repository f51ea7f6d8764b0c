#include "logwindow/log_view_rule.h"

#include "logwindow/log_clusters.h"
#include "logwindow/log_waiting_text.h"
#include "tests/logwindow/clusters.h"
#include "tests/logwindow/log_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::CLogTextOf;
using testsupport::Filled;

struct StepCase {
    const char* name;
    std::wstring view;
    std::wstring waiting;  // handed over as one text
    size_t removed;
};

TEST(LogViewRuleTest, KeepsTheNewestTextWithinTheBoundFromAWholeLine)
{
    const StepCase cases[] = {
        {"it all fits", Filled(60000, 100), Filled(6559, 100), 0},
        {"65,535 stay", Filled(65535), L"w", 0},
        // 65,536 are cut to 55,295; no line break follows, so there it stays.
        {"65,536 in one paragraph", Filled(65536), L"w", 10241},
        {"a trim due before the step, as one append would make it", Filled(65600, 100),
         Filled(1000, 100), 10400},
        // Cut where the bound leaves the view after the step, not before it.
        {"a trim due and far more text", Filled(65600, 100), Filled(44000, 100), 54400},
        {"more than the bound arrives at once", Filled(60000, 100), Filled(10000, 100), 14800},
        {"the last line break that counts", Filled(65600, 0, {{10305 + 1023, kLogLineBreak}}),
         L"w", 10305 + 1024},
        {"a line break too far after the cut", Filled(65600, 0, {{10305 + 1024, kLogLineBreak}}),
         L"w", 10305},
        {"a step as large as a trim keeps empties a view", Filled(30000, 100), Filled(55295, 100),
         30100},
        {"an empty view", L"", Filled(80000, 100), 24800},
        // The oldest 50 go at once: what waits then breaks lines at 49, 149...
        {"more waits than any view keeps", Filled(100, 100),
         Filled(CLogWaitingText::kMostUnits + 50, 100), 100 + 79949 + 1},
    };
    for (const StepCase& row : cases) {
        SCOPED_TRACE(row.name);
        const CLogTextOf view(row.view);
        CLogWaitingText waiting;
        ASSERT_TRUE(waiting.Add(row.waiting.data(), row.waiting.size()));
        EXPECT_EQ(LogStepRemoves(view, waiting.Held()), row.removed);
    }
}

// A cut that falls inside a cluster moves on to the cluster's end, wherever
// the cluster lies: in the view, in what waits behind it, or across both.
TEST(LogViewRuleTest, TrimMovesPastAClusterItWouldSplit)
{
    constexpr size_t kStart = 2000;
    for (const testsupport::ClusterCase& row : testsupport::kClusters) {
        SCOPED_TRACE(row.name);
        const std::wstring all =
            std::wstring(kStart, L'w') + row.cluster + std::wstring(kStart, L'w');
        const size_t end = kStart + row.cluster.size();
        for (size_t split : {size_t{0}, kStart + 1, all.size()}) {
            const CLogTextOf view(all.substr(0, split));
            const CLogTextOf waiting(all.substr(split));
            for (size_t cut = kStart - 1; cut <= end; ++cut) {
                const size_t expected = cut <= kStart || cut >= end ? cut : end;
                EXPECT_EQ(LogTrimEnd(view, waiting, cut), expected)
                    << "cut " << cut - kStart << " into it, split at " << split;
            }
        }
    }
}

// A line break near the cut wins over the cluster rule; a text without any
// place to start a cluster near the cut is cut where it is, not dropped.
TEST(LogViewRuleTest, TrimPrefersANearLineBreakAndNeverDropsEverything)
{
    const std::wstring marks(4000, L'\x0301');
    const CLogText none;
    EXPECT_EQ(LogTrimEnd(CLogTextOf(marks), none, 100), 100u);
    std::wstring broken = marks;
    broken[600] = kLogLineBreak;
    EXPECT_EQ(LogTrimEnd(CLogTextOf(broken), none, 100), 601u);
    ASSERT_TRUE(CanCutBefore(marks.data(), marks.size(), marks.size()));
}

}  // namespace
