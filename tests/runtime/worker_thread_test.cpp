#include "runtime/worker_thread.h"

#include "tests/support/failing_thread_creation.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using testsupport::FinishesWithin;
using testsupport::WaitUntil;

// What the routine saw and did, shared with the test thread.
struct Probe {
    std::atomic<int> entries{0};
    std::atomic<int> returns{0};
    std::atomic<WorkerState> stateAtEntry{Stopped};
    DWORD lingerMs = 0;     // pause after the loop, to catch a Stop that does not wait
    bool loop = true;       // false: return at once, as a routine that ends on its own
    uint32_t result = 0;
};

uint32_t ProbeRoutine(CWorkerThread* record)
{
    auto* probe = static_cast<Probe*>(record->owner);
    probe->stateAtEntry = record->ReadState();
    ++probe->entries;
    while (probe->loop && record->ReadState() == Running) {
        Sleep(1);
    }
    Sleep(probe->lingerMs);
    ++probe->returns;
    return probe->result;
}

class WorkerThreadTest : public ::testing::Test {
protected:
    ~WorkerThreadTest() override { gFailThreadCreation = false; }

    Probe probe;
    CWorkerThread record{&probe, &ProbeRoutine};
};

TEST_F(WorkerThreadTest, StartReturnsOnceTheThreadRuns)
{
    ASSERT_TRUE(record.Start());
    EXPECT_EQ(record.ReadState(), Running);
    EXPECT_EQ(probe.stateAtEntry.load(), Running);
    record.Stop();
}

TEST_F(WorkerThreadTest, SecondStartCreatesNoSecondThread)
{
    ASSERT_TRUE(record.Start());
    const HANDLE first = record.thread;
    EXPECT_TRUE(record.Start());
    EXPECT_EQ(record.thread, first);
    record.Stop();
    EXPECT_EQ(probe.entries.load(), 1);
}

TEST_F(WorkerThreadTest, StopReturnsOnlyAfterTheRoutineReturned)
{
    probe.lingerMs = 200;
    ASSERT_TRUE(record.Start());
    record.Stop();
    EXPECT_EQ(probe.returns.load(), 1);
    EXPECT_EQ(record.ReadState(), Stopped);
}

TEST_F(WorkerThreadTest, RepeatedStopReturnsAtOnce)
{
    ASSERT_TRUE(record.Start());
    record.Stop();
    EXPECT_TRUE(FinishesWithin([this] { record.Stop(); }));
    EXPECT_EQ(record.ReadState(), StopRequested);
}

TEST_F(WorkerThreadTest, StopWithoutThreadReturnsAtOnce)
{
    EXPECT_TRUE(FinishesWithin([this] { record.Stop(); }));
    EXPECT_EQ(record.thread, nullptr);
}

TEST_F(WorkerThreadTest, ExitCodeIsZeroWhateverTheRoutineReturns)
{
    probe.result = 7;
    ASSERT_TRUE(record.Start());
    record.Stop();
    DWORD code = STILL_ACTIVE;
    ASSERT_TRUE(GetExitCodeThread(record.thread, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(WorkerThreadTest, FailedCreationReturnsFalseAndLeavesStarting)
{
    gFailThreadCreation = true;
    EXPECT_FALSE(record.Start());
    EXPECT_EQ(record.thread, nullptr);
    EXPECT_EQ(record.ReadState(), Starting);
    EXPECT_TRUE(FinishesWithin([this] { record.Stop(); }));

    // A later attempt may succeed.
    gFailThreadCreation = false;
    EXPECT_TRUE(record.Start());
    record.Stop();
}

TEST_F(WorkerThreadTest, RoutineThatEndsOnItsOwnDoesNotHangStart)
{
    probe.loop = false;
    bool started = true;
    ASSERT_TRUE(FinishesWithin([&] { started = record.Start(); }));
    // Either Start saw Running before the routine ended, or it saw the end.
    if (!started) {
        EXPECT_EQ(probe.returns.load(), 1);
    }
    ASSERT_TRUE(WaitUntil([&] { return record.ReadState() == Stopped; }));
}

TEST_F(WorkerThreadTest, RestartAfterOwnEndClosesTheOldHandle)
{
    probe.loop = false;
    constexpr int kRestarts = 50;
    ASSERT_TRUE(FinishesWithin([&] { record.Start(); }));
    ASSERT_TRUE(WaitUntil([&] { return record.ReadState() == Stopped; }));
    DWORD before = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    for (int i = 0; i < kRestarts; ++i) {
        ASSERT_TRUE(FinishesWithin([&] { record.Start(); }));
        ASSERT_TRUE(WaitUntil([&] { return record.ReadState() == Stopped; }));
        ASSERT_EQ(WaitForSingleObject(record.thread, testsupport::kPatienceMs), WAIT_OBJECT_0);
    }
    DWORD after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(probe.entries.load(), kRestarts + 1);
    // One handle per restart would leak without the close; allow a little noise.
    EXPECT_LT(after, before + kRestarts / 2);
}

TEST(WorkerThreadEntryTest, NullRecordReturnsZero)
{
    EXPECT_EQ(CWorkerThread::ThreadEntry(nullptr), 0u);
}

TEST(WorkerThreadEntryTest, RecordWithoutRoutineEndsStopped)
{
    CWorkerThread record(nullptr, nullptr);
    ASSERT_TRUE(FinishesWithin([&] { record.Start(); }));
    ASSERT_TRUE(WaitUntil([&] { return record.ReadState() == Stopped; }));
    record.Stop();
}

}  // namespace
