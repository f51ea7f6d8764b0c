// A controllable TickCount for tests; every test target links it (test_fakes).
#pragma once

#include <cstdint>
#include <functional>

namespace testsupport {

// From now on TickCount returns `ticks` until the next call of either function.
void SetFakeTickCount(uint32_t ticks);
// Back to the real GetTickCount.
void UseRealTickCount();
// Runs `hook` once, inside the next TickCount call, on the thread that makes
// it: lets a test land an event between the steps of the code under test.
void RunOnNextTickRead(std::function<void()> hook);

// Sets a fake tick for the life of a scope, then returns to the real clock.
class CFakeTickScope {
public:
    explicit CFakeTickScope(uint32_t ticks) { SetFakeTickCount(ticks); }
    ~CFakeTickScope() { UseRealTickCount(); }
    CFakeTickScope(const CFakeTickScope&) = delete;
    CFakeTickScope& operator=(const CFakeTickScope&) = delete;
    void Set(uint32_t ticks) { SetFakeTickCount(ticks); }
};

}  // namespace testsupport
