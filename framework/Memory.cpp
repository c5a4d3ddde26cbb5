#include "framework/Memory.h"

#include <cstdlib>
#include <new>

namespace {

class BadAllocation final : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "bad allocation"; }
};

} // namespace

void* PS_MemHandler::allocate(std::size_t size)
{
    // A zero-size request still yields a distinct block so that callers can tell success from failure.
    void* block = std::malloc(size == 0 ? 1 : size);
    if (!block)
        throw BadAllocation();
    return block;
}

void PS_MemHandler::release(void* block)
{
    std::free(block);
}

namespace fx {

MemoryHandler& memoryHandler()
{
    static PS_MemHandler handler;
    return handler;
}

void* frameworkAlloc(std::size_t size)
{
    return memoryHandler().allocate(size);
}

void frameworkFree(void* block)
{
    memoryHandler().release(block);
}

} // namespace fx
