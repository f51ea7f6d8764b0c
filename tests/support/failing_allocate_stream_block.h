// Lets a test make the next stream block allocations fail.
#pragma once

#include <atomic>

extern std::atomic<bool> gFailStreamAllocation;

// Makes every stream allocation fail while it lives.
class CFailStreamAllocationScope {
public:
    CFailStreamAllocationScope() { gFailStreamAllocation = true; }
    ~CFailStreamAllocationScope() { gFailStreamAllocation = false; }
    CFailStreamAllocationScope(const CFailStreamAllocationScope&) = delete;
    CFailStreamAllocationScope& operator=(const CFailStreamAllocationScope&) = delete;
};
