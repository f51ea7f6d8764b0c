// Link-time stand-in for the thread creation of the runtime, able to fail on request.
#include "tests/support/failing_thread_creation.h"

#include "runtime/worker_thread.h"

std::atomic<bool> gFailThreadCreation{false};

HANDLE CreateWorkerThreadHandle(LPTHREAD_START_ROUTINE entry, void* parameter)
{
    if (gFailThreadCreation.load()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateThread(nullptr, 0, entry, parameter, 0, nullptr);
}
