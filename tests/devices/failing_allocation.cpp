// Link-time stand-ins for the event record allocation and for the language's
// allocation, able to fail on request.
#include "tests/devices/failing_allocation.h"

#include "devices/global_queue.h"

#include <cstdlib>
#include <new>

std::atomic<bool> gFailEventAllocation{false};
std::atomic<int> gEventAllocations{0};
std::atomic<bool> gFailOperatorNew{false};

QueueEvent* AllocateQueueEvent()
{
    ++gEventAllocations;
    if (gFailEventAllocation.load()) {
        return nullptr;
    }
    return static_cast<QueueEvent*>(std::calloc(1, sizeof(QueueEvent)));
}

void* operator new(std::size_t size)
{
    if (gFailOperatorNew.load()) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
