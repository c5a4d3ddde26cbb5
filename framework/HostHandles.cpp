#include "framework/HostHandles.h"

#include <cstdlib>
#include <new>

namespace fx {

struct HandleBlock {
    std::size_t size;
    void* bytes;
    int locks;
};

namespace {

class HeapHandles final : public HandleProcs {
public:
    Handle allocate(std::size_t size) override
    {
        auto* block = new (std::nothrow) HandleBlock{size, nullptr, 0};
        if (!block)
            return nullptr;
        block->bytes = std::calloc(size == 0 ? 1 : size, 1);
        if (!block->bytes) {
            delete block;
            return nullptr;
        }
        return block;
    }
    void dispose(Handle handle) override
    {
        if (!handle)
            return;
        std::free(handle->bytes);
        delete handle;
    }
    std::size_t size(Handle handle) override { return handle ? handle->size : 0; }
    void* lock(Handle handle) override
    {
        if (!handle)
            return nullptr;
        ++handle->locks;
        return handle->bytes;
    }
    void unlock(Handle handle) override
    {
        if (handle && handle->locks > 0)
            --handle->locks;
    }
};

HandleProcs* installed = nullptr;

} // namespace

HandleProcs& heapHandles()
{
    static HeapHandles procs;
    return procs;
}

HandleProcs& hostHandles()
{
    return installed ? *installed : heapHandles();
}

void setHostHandles(HandleProcs* procs)
{
    installed = procs;
}

} // namespace fx
