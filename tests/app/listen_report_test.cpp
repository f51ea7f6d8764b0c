#include "app/listen_report.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kAddressInUse = 10048;

struct Step {
    int socketError;
    bool listening;
    ListenNote expected;
};

struct ReportCase {
    const char* name;
    std::vector<Step> steps;
};

const ReportCase kReportCases[] = {
    {"a start that binds at once says nothing",
     {{0, false, ListenNote::None}, {0, true, ListenNote::None}, {0, true, ListenNote::None}}},
    {"a busy port is told once, however long it stays busy",
     {{kAddressInUse, false, ListenNote::CannotListen},
      {kAddressInUse, false, ListenNote::None},
      {kAddressInUse, false, ListenNote::None}}},
    {"the port coming free is told once",
     {{kAddressInUse, false, ListenNote::CannotListen},
      {0, false, ListenNote::None},
      {0, true, ListenNote::Listening},
      {0, true, ListenNote::None}}},
    {"a later outage is told again",
     {{kAddressInUse, false, ListenNote::CannotListen},
      {0, true, ListenNote::Listening},
      {kAddressInUse, false, ListenNote::CannotListen},
      {0, true, ListenNote::Listening}}},
    {"listening with an error still pending is not yet recovery",
     {{kAddressInUse, false, ListenNote::CannotListen}, {kAddressInUse, true, ListenNote::None}}},
};

TEST(ListenReportTest, TellsEachChangeOnce)
{
    for (const ReportCase& row : kReportCases) {
        SCOPED_TRACE(row.name);
        CListenReport report;
        int index = 0;
        for (const Step& step : row.steps) {
            SCOPED_TRACE(index++);
            EXPECT_EQ(report.Update(step.socketError, step.listening), step.expected);
        }
    }
}

}  // namespace
