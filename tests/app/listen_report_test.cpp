#include "app/listen_report.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kAddressInUse = 10048;
constexpr int kNetworkDown = 10050;

struct Step {
    int socketError;
    bool listening;
    ListenNote expected;
    int receiveError = 0;  // taken from the transport at this step
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
    {"a failed socket is told once the receiver listens, once per failure",
     {{0, false, ListenNote::None, kNetworkDown},
      {0, true, ListenNote::ReceiveFailed},
      {0, true, ListenNote::None},
      {0, true, ListenNote::ReceiveFailed, kNetworkDown}}},
    {"a failed socket that cannot be bound again is told as a busy port",
     {{kAddressInUse, false, ListenNote::CannotListen},
      {0, true, ListenNote::Listening, kNetworkDown},
      {0, true, ListenNote::None}}},
};

TEST(ListenReportTest, TellsEachChangeOnce)
{
    for (const ReportCase& row : kReportCases) {
        SCOPED_TRACE(row.name);
        CListenReport report;
        int index = 0;
        for (const Step& step : row.steps) {
            SCOPED_TRACE(index++);
            EXPECT_EQ(report.Update(step.socketError, step.receiveError, step.listening),
                      step.expected);
            if (step.expected == ListenNote::CannotListen) {
                EXPECT_EQ(report.Error(), step.socketError);
            } else if (step.expected == ListenNote::ReceiveFailed) {
                EXPECT_EQ(report.Error(), kNetworkDown);
            }
        }
    }
}

}  // namespace
