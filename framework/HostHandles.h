#pragma once

#include <cstddef>

namespace fx {

// A relocatable memory block owned by the host (the plug-in protocol's handles). The framework only
// ever passes it back to the procedures that made it.
struct HandleBlock;
using Handle = HandleBlock*;

// The host's handle procedures. The host bridge implements them over the host's procedures;
// heapHandles() serves wherever no host is present.
class HandleProcs {
public:
    virtual ~HandleProcs() = default;
    virtual Handle allocate(std::size_t size) = 0;  // null when the block cannot be allocated
    virtual void dispose(Handle handle) = 0;        // null is ignored
    virtual std::size_t size(Handle handle) = 0;    // 0 for null
    virtual void* lock(Handle handle) = 0;          // the block's bytes until unlock; null for null
    virtual void unlock(Handle handle) = 0;
};

// Handles on the C-runtime heap.
HandleProcs& heapHandles();

// The procedures blobs are made with when the caller names none: the host's once the bridge has
// installed them, the heap's otherwise. setHostHandles(nullptr) returns to the heap.
HandleProcs& hostHandles();
void setHostHandles(HandleProcs* procs);

// Owns a handle and disposes it through its procedures.
class OwnedHandle {
public:
    OwnedHandle(HandleProcs& procs, Handle handle) : procs_(&procs), handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { procs_->dispose(handle_); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle release()
    {
        Handle h = handle_;
        handle_ = nullptr;
        return h;
    }

private:
    HandleProcs* procs_;
    Handle handle_;
};

// Keeps a handle locked for a scope.
class HandleLock {
public:
    HandleLock(HandleProcs& procs, Handle handle)
        : procs_(&procs), handle_(handle), bytes_(handle ? procs.lock(handle) : nullptr)
    {
    }
    HandleLock(const HandleLock&) = delete;
    HandleLock& operator=(const HandleLock&) = delete;
    ~HandleLock()
    {
        if (bytes_)
            procs_->unlock(handle_);
    }

    void* bytes() const { return bytes_; }

private:
    HandleProcs* procs_;
    Handle handle_;
    void* bytes_;
};

} // namespace fx
