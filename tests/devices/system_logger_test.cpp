#include "devices/system_logger.h"

#include "tests/support/fake_read_local_clock.h"
#include "tests/support/installed_services.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::CInstalledSystemLogger;
using testsupport::CRecordingLogSink;

// 7 December 2026, a Monday, 09:05:03.042 local time.
constexpr SYSTEMTIME kSampleTime = {2026, 12, 1, 7, 9, 5, 3, 42};
constexpr char kSampleStamp[] = "[07-12-2026 09:05:03.042]";

class SystemLoggerTest : public ::testing::Test {
protected:
    SystemLoggerTest() { testsupport::SetFakeLocalTime(kSampleTime); }
    ~SystemLoggerTest() override { testsupport::UseRealLocalTime(); }

    CInstalledSystemLogger installed;
};

TEST_F(SystemLoggerTest, WritesTheStampedLine)
{
    Log(LogError, "x");
    const std::vector<std::string> lines = installed.sink.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(kSampleStamp) + "\tERROR\tx\n");
}

TEST_F(SystemLoggerTest, FormatsTheMessageWithItsArguments)
{
    Log(LogNotice, "%s on port %d: %u senders", "listening", 514, 3u);
    const std::vector<std::string> lines = installed.sink.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(kSampleStamp) + "\tNOTICE\tlistening on port 514: 3 senders\n");
}

TEST_F(SystemLoggerTest, EveryLevelHasItsName)
{
    const char* const kNames[] = {"EMERG.", "ALERT", "CRITICAL", "ERROR", "WARNING",
                                  "NOTICE", "INFO",  "DEBUG",    "ALL"};
    for (int32_t level = LogEmergency; level <= LogAll; ++level) {
        Log(level, "m");
    }
    Log(LogAll + 1, "m");  // beyond the sink's threshold
    Log(-1, "m");          // no name of its own
    const std::vector<std::string> lines = installed.sink.Lines();
    ASSERT_EQ(lines.size(), 10u);
    for (int32_t level = LogEmergency; level <= LogAll; ++level) {
        EXPECT_EQ(lines[level], std::string(kSampleStamp) + "\t" + kNames[level] + "\tm\n");
    }
    EXPECT_EQ(lines[9], std::string(kSampleStamp) + "\tUNKNOWN\tm\n");
}

// Each sink gets exactly the levels at or below its threshold.
TEST_F(SystemLoggerTest, SinksReceiveTheLevelsTheirThresholdAdmits)
{
    CRecordingLogSink errors(LogError);
    CRecordingLogSink nothing(-1);
    installed.logger.AttachSink(&errors);
    installed.logger.AttachSink(&nothing);
    for (int32_t level = LogEmergency; level <= LogAll; ++level) {
        Log(level, "%d", level);
    }
    installed.logger.DetachSink(&errors);
    installed.logger.DetachSink(&nothing);

    EXPECT_EQ(installed.sink.Lines().size(), 9u) << "threshold 8";
    const std::vector<std::string> admitted = errors.Lines();
    ASSERT_EQ(admitted.size(), 4u) << "threshold 3";
    EXPECT_NE(admitted.back().find("\tERROR\t3\n"), std::string::npos);
    EXPECT_TRUE(nothing.Lines().empty()) << "threshold -1";
}

TEST_F(SystemLoggerTest, ALongMessageIsCutNotOverflowed)
{
    const std::string longText(3 * CSystemLogger::kMessageCapacity, 'a');
    Log(LogDebug, "%s|", longText.c_str());
    const std::vector<std::string> lines = installed.sink.Lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string prefix = std::string(kSampleStamp) + "\tDEBUG\t";
    const std::string kept(CSystemLogger::kMessageCapacity - 1, 'a');
    EXPECT_EQ(lines[0], prefix + kept + "\n");
}

TEST_F(SystemLoggerTest, NothingIsWrittenWithoutAnInstalledLogger)
{
    gSystemLogger = nullptr;
    Log(LogEmergency, "lost");
    gSystemLogger = &installed.logger;
    EXPECT_TRUE(installed.sink.Lines().empty());
}

// Two threads log at once: every line must come out whole, never a mix of
// the two threads' messages.
TEST_F(SystemLoggerTest, LinesFromTwoThreadsStayWhole)
{
    constexpr int kPerThread = 1000;
    const std::string first(200, 'A');
    const std::string second(300, 'B');
    auto write = [](const std::string* text) {
        for (int i = 0; i < kPerThread; ++i) {
            Log(LogWarning, "%s", text->c_str());
        }
    };
    std::thread one(write, &first);
    std::thread two(write, &second);
    one.join();
    two.join();

    const std::string prefix = std::string(kSampleStamp) + "\tWARNING\t";
    const std::vector<std::string> lines = installed.sink.Lines();
    ASSERT_EQ(lines.size(), 2u * kPerThread);
    int mixed = 0;
    for (const std::string& line : lines) {
        if (line != prefix + first + "\n" && line != prefix + second + "\n") {
            ++mixed;
        }
    }
    EXPECT_EQ(mixed, 0);
}

TEST(LocalTimeSnapshotTest, FillsARecordAndRefusesNull)
{
    testsupport::SetFakeLocalTime(kSampleTime);
    SYSTEMTIME record{};
    const bool filled = GetLocalTimeSnapshot(&record);
    testsupport::UseRealLocalTime();
    EXPECT_TRUE(filled);
    EXPECT_EQ(record.wYear, 2026);
    EXPECT_EQ(record.wDayOfWeek, 1);
    EXPECT_EQ(record.wMilliseconds, 42);
    EXPECT_FALSE(GetLocalTimeSnapshot(nullptr));
}

}  // namespace
