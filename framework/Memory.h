#pragma once

#include <cstddef>

namespace fx {

// The allocator every framework object (effect instances, the host's instance list) goes through.
class MemoryHandler {
public:
    virtual ~MemoryHandler() = default;
    virtual void* allocate(std::size_t size) = 0;  // throws std::bad_alloc when nothing is left
    virtual void release(void* block) = 0;         // null is ignored
};

// The process-wide handler; created on first use.
MemoryHandler& memoryHandler();

void* frameworkAlloc(std::size_t size);
void frameworkFree(void* block);

} // namespace fx

// The C-runtime heap behind the framework allocator. A failed allocation throws an exception whose
// what() is "bad allocation", the text the selector dispatcher reports to the host.
class PS_MemHandler final : public fx::MemoryHandler {
public:
    void* allocate(std::size_t size) override;
    void release(void* block) override;
};
