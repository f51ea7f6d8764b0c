// Holds a CKestrumCriticalSection for one block.
#pragma once

#include "runtime/kestrum_critical_section.h"

// It lives on the stack only, so no object that owns a lock changes shape.
class CScopedLock {
public:
    explicit CScopedLock(CKestrumCriticalSection* lock) : held(lock) { held->Lock(); }
    ~CScopedLock() { held->Unlock(); }

    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;

private:
    CKestrumCriticalSection* held;
};
