// Link-time stand-in for the runtime's TickCount: real unless a test fixes it.
#include "tests/support/fake_tick_count.h"

#include "runtime/tick_count.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <utility>

namespace {

std::atomic<bool> gUseFake{false};
std::atomic<uint32_t> gFakeTicks{0};
std::atomic<bool> gHookArmed{false};
std::mutex gHookLock;
std::function<void()> gHook;

void RunArmedHook()
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> guard(gHookLock);
        hook = std::move(gHook);
        gHook = nullptr;
        gHookArmed = false;
    }
    if (hook) {
        hook();
    }
}

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

void RunOnNextTickRead(std::function<void()> hook)
{
    std::lock_guard<std::mutex> guard(gHookLock);
    gHook = std::move(hook);
    gHookArmed = true;
}

}  // namespace testsupport

uint32_t TickCount()
{
    if (gHookArmed) {
        RunArmedHook();
    }
    return gUseFake ? gFakeTicks.load() : GetTickCount();
}
