// Control record of one worker thread, started and stopped through a polled state word.
#include "runtime/worker_thread.h"

#include "runtime/scoped_lock.h"

static constexpr DWORD kStartPollMs = 10;
// A thread that has written Stopped has only to return; this is plenty.
static constexpr DWORD kEndingThreadPatienceMs = 10000;

CWorkerThread::CWorkerThread(void* ownerObject, ThreadRoutine threadRoutine)
    : state(Stopped), owner(ownerObject), routine(threadRoutine), lock(nullptr), thread(nullptr)
{
    lock = new CKestrumCriticalSection();
}

// A thread that ended its routine on its own may still be on its way out
// through `lock`: Stop waits for it before the lock goes.
CWorkerThread::~CWorkerThread()
{
    Stop();
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
// it before a restart stores the new one. It may have written Stopped and not
// yet returned, so it is given time to end; false if it does not.
bool CWorkerThread::ForgetEndedThread()
{
    if (thread == nullptr) {
        return true;
    }
    if (WaitForSingleObject(thread, kEndingThreadPatienceMs) != WAIT_OBJECT_0) {
        return false;  // still running: its handle stays, to be waited for by Stop
    }
    CloseHandle(thread);
    thread = nullptr;
    return true;
}

bool CWorkerThread::Start()
{
    if (ReadState() == Running) {
        return true;
    }
    if (!ForgetEndedThread()) {
        return false;
    }
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
