#include "runtime/worker_thread.h"

#include "tests/support/failing_create_worker_thread.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <winternl.h>

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
    std::atomic<bool> held{false};  // while set, a routine that does not loop waits
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
    while (!probe->loop && probe->held) {
        Sleep(1);
    }
    Sleep(probe->lingerMs);
    ++probe->returns;
    return probe->result;
}

class WorkerThreadTest : public ::testing::Test {
protected:
    ~WorkerThreadTest() override
    {
        gFailThreadCreation = false;
        gReturnAfterThreadEnds = false;
        gThreadLingerMs = 0;
    }

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

// The thread has ended before Start first looks: Start must see the end, not
// wait for a Running that already came and went.
TEST_F(WorkerThreadTest, RoutineThatEndedBeforeStartLookedFailsStart)
{
    probe.loop = false;
    gReturnAfterThreadEnds = true;
    bool started = true;
    ASSERT_TRUE(FinishesWithin([&] { started = record.Start(); }));
    EXPECT_FALSE(started);
    EXPECT_EQ(probe.returns.load(), 1);
    EXPECT_EQ(record.ReadState(), Stopped);
}

// How many handles are open to the object `handle` refers to, this one included.
ULONG HandlesTo(HANDLE handle)
{
    PUBLIC_OBJECT_BASIC_INFORMATION info = {};
    ULONG length = 0;
    if (NtQueryObject(handle, ObjectBasicInformation, &info, sizeof info, &length) != 0) {
        return 0;
    }
    return info.HandleCount;
}

// A thread that ends on its own writes Stopped, then still has to leave. A
// restart in between must close that thread's handle, not overwrite it.
TEST_F(WorkerThreadTest, RestartAfterOwnEndClosesTheOldHandle)
{
    struct Case {
        const char* name;
        DWORD lingerMs;
    };
    const Case cases[] = {{"thread gone at once", 0}, {"thread slow to leave", 30}};
    constexpr int kRestarts = 10;
    probe.loop = false;
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        gThreadLingerMs = row.lingerMs;
        probe.held = true;
        ASSERT_TRUE(FinishesWithin([&] { record.Start(); }));
        for (int i = 0; i < kRestarts; ++i) {
            // Start has seen the routine run; now it ends on its own.
            probe.held = false;
            ASSERT_TRUE(WaitUntil([&] { return record.ReadState() == Stopped; }));
            // Our own handle to the old thread, to count the others by.
            HANDLE previous = nullptr;
            ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), record.thread, GetCurrentProcess(),
                                        &previous, 0, FALSE, DUPLICATE_SAME_ACCESS));
            probe.held = true;
            ASSERT_TRUE(FinishesWithin([&] { record.Start(); }));
            EXPECT_EQ(HandlesTo(previous), 1u) << "restart " << i;
            CloseHandle(previous);
        }
        probe.held = false;
        ASSERT_EQ(WaitForSingleObject(record.thread, testsupport::kPatienceMs), WAIT_OBJECT_0);
    }
}

// Entries with nothing to run end at once, as threads, with exit code 0.
TEST(WorkerThreadEntryTest, EntryWithNothingToRunEndsAtOnce)
{
    CWorkerThread withoutRoutine(nullptr, nullptr);
    struct Case {
        const char* name;
        CWorkerThread* record;
    };
    const Case cases[] = {{"no record", nullptr}, {"record without routine", &withoutRoutine}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const HANDLE thread =
            CreateThread(nullptr, 0, &CWorkerThread::ThreadEntry, row.record, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        EXPECT_EQ(WaitForSingleObject(thread, testsupport::kPatienceMs), WAIT_OBJECT_0);
        DWORD code = STILL_ACTIVE;
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, 0u);
        CloseHandle(thread);
        if (row.record != nullptr) {
            EXPECT_EQ(row.record->ReadState(), Stopped);
        }
    }
}

}  // namespace
