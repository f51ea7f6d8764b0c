// A lock object around one Windows critical section.
#pragma once

#include <windows.h>

class CKestrumCriticalSection {
public:
    CKestrumCriticalSection();
    virtual ~CKestrumCriticalSection();

    CKestrumCriticalSection(const CKestrumCriticalSection&) = delete;
    CKestrumCriticalSection& operator=(const CKestrumCriticalSection&) = delete;

    void Lock();
    void Unlock();

    bool initialized;
    CRITICAL_SECTION section;
};
