// Link-time stand-in for the thread creation of the runtime, able to fail on request.
#include "tests/support/failing_create_worker_thread.h"

#include "runtime/worker_thread.h"

std::atomic<bool> gFailThreadCreation{false};
std::atomic<bool> gReturnAfterThreadEnds{false};
std::atomic<DWORD> gThreadLingerMs{0};

namespace {

// Bounds the wait for a thread that is meant to end at once.
constexpr DWORD kThreadEndPatienceMs = 10000;

struct Launch {
    LPTHREAD_START_ROUTINE entry;
    void* parameter;
    DWORD lingerMs;
};

DWORD WINAPI LingeringEntry(LPVOID parameter)
{
    const Launch launch = *static_cast<Launch*>(parameter);
    delete static_cast<Launch*>(parameter);
    const DWORD result = launch.entry(launch.parameter);
    if (launch.lingerMs != 0) {
        Sleep(launch.lingerMs);  // the thread's slow way out, not a wait of the test
    }
    return result;
}

}  // namespace

HANDLE CreateWorkerThreadHandle(LPTHREAD_START_ROUTINE entry, void* parameter)
{
    if (gFailThreadCreation.load()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* launch = new Launch{entry, parameter, gThreadLingerMs.load()};
    const HANDLE thread = CreateThread(nullptr, 0, &LingeringEntry, launch, 0, nullptr);
    if (thread == nullptr) {
        delete launch;
        return nullptr;
    }
    if (gReturnAfterThreadEnds.load()) {
        WaitForSingleObject(thread, kThreadEndPatienceMs);
    }
    return thread;
}
