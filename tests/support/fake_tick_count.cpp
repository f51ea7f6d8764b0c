// Link-time stand-in for the runtime's TickCount: real unless a test fixes it.
#include "tests/support/fake_tick_count.h"

#include "runtime/tick_count.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<bool> gUseFake{false};
std::atomic<uint32_t> gFakeTicks{0};

}  // namespace

namespace testsupport {

void SetFakeTickCount(uint32_t ticks)
{
    gFakeTicks = ticks;
    gUseFake = true;
}

void UseRealTickCount()
{
    gUseFake = false;
}

}  // namespace testsupport

uint32_t TickCount()
{
    return gUseFake ? gFakeTicks.load() : GetTickCount();
}
