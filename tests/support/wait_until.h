// Polls a condition with a deadline, so tests never synchronise with a bare sleep.
#pragma once

#include <windows.h>

#include <functional>

namespace testsupport {

// A generous bound: long enough for a loaded CI machine under Wine, short
// enough that a hang fails the test instead of the whole run. 10 s was not:
// with both cores busy, a trim of a 64K paragraph in place took longer.
inline constexpr DWORD kPatienceMs = 30000;

inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(1);
    }
}

inline DWORD WINAPI RunAndDelete(LPVOID parameter)
{
    auto* work = static_cast<std::function<void()>*>(parameter);
    (*work)();
    delete work;
    return 0;
}

// Runs `action` on a thread of its own and reports whether it finished in time.
// A hung action is left running: the test fails instead of the whole run hanging.
inline bool FinishesWithin(const std::function<void()>& action, DWORD timeoutMs = kPatienceMs)
{
    auto* copy = new std::function<void()>(action);
    HANDLE thread = CreateThread(nullptr, 0, &RunAndDelete, copy, 0, nullptr);
    if (thread == nullptr) {
        delete copy;
        return false;
    }
    const bool finished = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return finished;
}

}  // namespace testsupport
