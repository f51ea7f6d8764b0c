// Control record of one worker thread, started and stopped through a polled state word.
#include "runtime/worker_thread.h"

#include "runtime/scoped_lock.h"

static constexpr DWORD kStartPollMs = 10;

CWorkerThread::CWorkerThread(void* ownerObject, ThreadRoutine threadRoutine)
    : state(Stopped), owner(ownerObject), routine(threadRoutine), lock(nullptr), thread(nullptr)
{
    lock = new CKestrumCriticalSection();
}

CWorkerThread::~CWorkerThread()
{
    delete lock;
    lock = nullptr;
    if (thread != nullptr) {
        CloseHandle(thread);
        thread = nullptr;
    }
}

WorkerState CWorkerThread::ReadState()
{
    CScopedLock guard(lock);
    return state;  // a copy: act on it after the lock is released
}

void CWorkerThread::WriteState(WorkerState value)
{
    CScopedLock guard(lock);
    state = value;
}

static bool HasEnded(HANDLE thread)
{
    return thread != nullptr && WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

// A thread whose routine returned on its own has left a handle behind; close
// it before a restart stores the new one.
void CWorkerThread::ForgetEndedThread()
{
    if (HasEnded(thread)) {
        CloseHandle(thread);
        thread = nullptr;
    }
}

bool CWorkerThread::Start()
{
    if (ReadState() == Running) {
        return true;
    }
    ForgetEndedThread();
    WriteState(Starting);

    thread = CreateWorkerThreadHandle(&CWorkerThread::ThreadEntry, this);
    if (thread == nullptr) {
        return false;
    }
    for (;;) {
        if (ReadState() == Running) {
            return true;
        }
        // A routine that returned before we saw Running would otherwise keep
        // us polling forever.
        if (HasEnded(thread)) {
            return false;
        }
        Sleep(kStartPollMs);
    }
}

void CWorkerThread::Stop()
{
    WriteState(StopRequested);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
    }
}

DWORD WINAPI CWorkerThread::ThreadEntry(LPVOID parameter)
{
    auto* record = static_cast<CWorkerThread*>(parameter);
    if (record == nullptr) {
        return 0;
    }
    record->WriteState(Running);
    if (record->routine != nullptr) {
        record->routine(record);  // its result is not used
    }
    record->WriteState(Stopped);
    return 0;
}
