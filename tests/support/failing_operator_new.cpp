// Link-time stand-in for the language's allocation, able to fail on request.
// Apart from the other stand-ins: every test program allocates, so the
// linker takes this one into each of them.
#include "tests/support/failing_allocation.h"

#include <cstdlib>
#include <new>

std::atomic<bool> gFailOperatorNew{false};

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
