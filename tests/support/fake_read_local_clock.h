// A controllable local clock for log lines; every test target links it (test_fakes).
#pragma once

#include <windows.h>

namespace testsupport {

// From now on the logger's clock reads `time` until the next call of either function.
void SetFakeLocalTime(const SYSTEMTIME& time);
// Back to the real GetLocalTime.
void UseRealLocalTime();

}  // namespace testsupport
