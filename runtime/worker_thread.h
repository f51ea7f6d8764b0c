// Control record of one worker thread, started and stopped through a polled state word.
#pragma once

#include "runtime/kestrum_critical_section.h"

#include <windows.h>

#include <cstdint>

enum WorkerState : int32_t {
    Stopped = 0,
    Starting = 1,
    Running = 2,
    StopRequested = 3,
};

class CWorkerThread;

// The routine reads `state` at the top of every turn and returns once it is not Running.
using ThreadRoutine = uint32_t (*)(CWorkerThread* record);

class CWorkerThread {
public:
    CWorkerThread(void* owner, ThreadRoutine routine);
    ~CWorkerThread();

    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    bool Start();
    void Stop();

    // Copies `state` under `lock`; the routines poll this at the top of every turn.
    WorkerState ReadState();

    static DWORD WINAPI ThreadEntry(LPVOID record);

    WorkerState state;
    void* owner;
    ThreadRoutine routine;
    CKestrumCriticalSection* lock;
    HANDLE thread;

private:
    void WriteState(WorkerState value);
    bool ForgetEndedThread();
};

// Creates the thread for Start. Its own translation unit, so that a test can
// supply a failing version at link time without costing the program anything.
HANDLE CreateWorkerThreadHandle(LPTHREAD_START_ROUTINE entry, void* parameter);
