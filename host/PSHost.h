#pragma once

// The module-wide host object: the plug-in file's path, the folders beside it, the instances the
// entry points create, and the host's handle procedures as the framework's HandleProcs.

#include "framework/Host.h"
#include "framework/HostHandles.h"
#include "platform/FilterRecord.h"

#include <string>
#include <vector>

namespace fx { struct Effect; }

namespace orvo::host {

class PS_Host final : public fx::Host {
public:
    // The module's one host object; installs itself as fx::host() on first use.
    static PS_Host& instance();

    // "<plug-in folder>/<folder>/" followed by file when it is not null. The plug-in folder is the
    // plug-in file's path up to its last path separator ("." when the path has none).
    std::string resolvePath(const char* product, const char* folder, const char* file) override;

    bool hasPluginPath() const { return havePath_; }
    const std::string& pluginPath() const { return path_; }
    void setPluginPath(std::string path)
    {
        path_ = std::move(path);
        havePath_ = true;
    }
    // Fills the path once per process: from the host's "SP Plug-ins Suite", else from the loader's
    // record of this module's file.
    void findPluginPath(const FilterRecord& record);

    // Instances created for entry calls. Each call gives its instance back when it ends; whatever is
    // still listed when the module unloads is destroyed then.
    void adopt(fx::Effect* effect);
    void dispose(fx::Effect* effect);
    std::size_t liveInstances() const { return instances_.size(); }

    ~PS_Host() override;

private:
    PS_Host() = default;
    std::string path_;
    bool havePath_ = false;
    std::vector<fx::Effect*> instances_;
};

// The host's handle procedures behind the framework's HandleProcs.
class PS_HandleProcs final : public fx::HandleProcs {
public:
    explicit PS_HandleProcs(const FpHandleProcs* procs) : procs_(procs) {}
    bool available() const;
    fx::Handle allocate(std::size_t size) override;
    void dispose(fx::Handle handle) override;
    std::size_t size(fx::Handle handle) override;
    void* lock(fx::Handle handle) override;
    void unlock(fx::Handle handle) override;

    static fx::Handle wrap(FpHandle h) { return reinterpret_cast<fx::Handle>(h); }
    static FpHandle unwrap(fx::Handle h) { return reinterpret_cast<FpHandle>(h); }

private:
    const FpHandleProcs* procs_;
};

// Installs handle procedures as the framework's host handles for a scope.
class ScopedHostHandles {
public:
    explicit ScopedHostHandles(fx::HandleProcs& procs) : previous_(&fx::hostHandles()) { fx::setHostHandles(&procs); }
    ~ScopedHostHandles() { fx::setHostHandles(previous_); }
    ScopedHostHandles(const ScopedHostHandles&) = delete;
    ScopedHostHandles& operator=(const ScopedHostHandles&) = delete;

private:
    fx::HandleProcs* previous_;
};

} // namespace orvo::host
