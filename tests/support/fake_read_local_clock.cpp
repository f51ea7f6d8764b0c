// Link-time stand-in for the logger's local clock: real unless a test fixes it.
#include "tests/support/fake_read_local_clock.h"

#include "devices/system_logger.h"

#include <mutex>

namespace {

std::mutex gClockMutex;
bool gUseFake = false;
SYSTEMTIME gFakeTime{};

}  // namespace

namespace testsupport {

void SetFakeLocalTime(const SYSTEMTIME& time)
{
    std::lock_guard<std::mutex> hold(gClockMutex);
    gFakeTime = time;
    gUseFake = true;
}

void UseRealLocalTime()
{
    std::lock_guard<std::mutex> hold(gClockMutex);
    gUseFake = false;
}

}  // namespace testsupport

void ReadLocalClock(SYSTEMTIME* record)
{
    {
        std::lock_guard<std::mutex> hold(gClockMutex);
        if (gUseFake) {
            *record = gFakeTime;
            return;
        }
    }
    GetLocalTime(record);
}
