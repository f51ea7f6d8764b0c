#include "runtime/kestrum_critical_section.h"
#include "runtime/scoped_lock.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

struct Counter {
    CKestrumCriticalSection lock;
    long value = 0;
};

constexpr int kIncrementsPerThread = 100000;

DWORD WINAPI AddMany(LPVOID parameter)
{
    auto* counter = static_cast<Counter*>(parameter);
    for (int i = 0; i < kIncrementsPerThread; ++i) {
        CScopedLock guard(&counter->lock);
        // A read, a yield-prone gap and a write: lost updates show without the lock.
        const long seen = counter->value;
        counter->value = seen + 1;
    }
    return 0;
}

TEST(KestrumCriticalSectionTest, SerialisesThreads)
{
    Counter counter;
    HANDLE threads[4];
    for (HANDLE& thread : threads) {
        thread = CreateThread(nullptr, 0, &AddMany, &counter, 0, nullptr);
        ASSERT_NE(thread, nullptr);
    }
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) {
        CloseHandle(thread);
    }
    EXPECT_EQ(counter.value, 4L * kIncrementsPerThread);
}

}  // namespace
