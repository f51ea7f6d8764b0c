// A controllable local clock for log lines; link fake_local_clock.cpp into the test.
#pragma once

#include <windows.h>

namespace testsupport {

// From now on the logger's clock reads `time` until the next call of either function.
void SetFakeLocalTime(const SYSTEMTIME& time);
// Back to the real GetLocalTime.
void UseRealLocalTime();

}  // namespace testsupport
