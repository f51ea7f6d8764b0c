// A lock object around one Windows critical section.
#include "runtime/kestrum_critical_section.h"

CKestrumCriticalSection::CKestrumCriticalSection() : initialized(true)
{
    InitializeCriticalSection(&section);
}

CKestrumCriticalSection::~CKestrumCriticalSection()
{
    DeleteCriticalSection(&section);
    initialized = false;
}

void CKestrumCriticalSection::Lock()
{
    EnterCriticalSection(&section);
}

void CKestrumCriticalSection::Unlock()
{
    LeaveCriticalSection(&section);
}
