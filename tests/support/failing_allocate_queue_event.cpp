// Link-time stand-in for the event record allocation, able to fail on request.
#include "tests/support/failing_allocation.h"

#include "devices/global_queue.h"

#include <cstdlib>

std::atomic<bool> gFailEventAllocation{false};
std::atomic<int> gEventAllocations{0};

QueueEvent* AllocateQueueEvent()
{
    ++gEventAllocations;
    if (gFailEventAllocation.load()) {
        return nullptr;
    }
    return static_cast<QueueEvent*>(std::calloc(1, sizeof(QueueEvent)));
}
