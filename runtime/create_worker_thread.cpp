// The one place where worker threads are created.
#include "runtime/worker_thread.h"

HANDLE CreateWorkerThreadHandle(LPTHREAD_START_ROUTINE entry, void* parameter)
{
    // Default security and stack; the thread runs at once; its id is not needed.
    return CreateThread(nullptr, 0, entry, parameter, 0, nullptr);
}
