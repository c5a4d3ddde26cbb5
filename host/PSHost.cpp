#include "host/PSHost.h"

#include "framework/Effect.h"
#include "platform/Suites.h"

#include <algorithm>
#include <dlfcn.h>
#include <limits>

namespace orvo::host {

PS_Host& PS_Host::instance()
{
    static PS_Host* host = [] {
        static PS_Host h;
        fx::setHost(&h);
        return &h;
    }();
    return *host;
}

PS_Host::~PS_Host()
{
    for (fx::Effect* e : instances_)
        if (e && e->ops && e->ops->destroy)
            e->ops->destroy(e);
    instances_.clear();
    if (fx::host() == this)
        fx::setHost(nullptr);
}

std::string PS_Host::resolvePath(const char*, const char* folder, const char* file)
{
    const std::size_t slash = path_.find_last_of('/');
    std::string out = slash == std::string::npos ? std::string(".") : path_.substr(0, slash);
    out += '/';
    out += folder ? folder : "";
    out += '/';
    if (file)
        out += file;
    return out;
}

void PS_Host::findPluginPath(const FilterRecord& record)
{
    if (havePath_)
        return;
    FpSPBasicSuite* sp = record.sSPBasic;
    const void* table = nullptr;
    if (sp && sp->acquireSuite && sp->acquireSuite(kFpSPPluginsSuite, kFpSPPluginsSuiteVersion, &table) == kFpNoErr &&
        table) {
        char buffer[kFpPluginPathCapacity] = {};
        const auto* plugins = static_cast<const FpSPPluginsSuite4*>(table);
        const int32_t err = plugins->getPluginFileSpecification(record.plugInRef, buffer, sizeof buffer);
        if (sp->releaseSuite)
            sp->releaseSuite(kFpSPPluginsSuite, kFpSPPluginsSuiteVersion);
        if (err == kFpNoErr) {
            buffer[sizeof buffer - 1] = 0;
            setPluginPath(buffer);
            return;
        }
    }
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&PS_Host::instance), &info) && info.dli_fname)
        setPluginPath(std::string(info.dli_fname).substr(0, kFpPluginPathCapacity - 1));
}

void PS_Host::adopt(fx::Effect* effect)
{
    if (effect)
        instances_.push_back(effect);
}

void PS_Host::dispose(fx::Effect* effect)
{
    if (!effect)
        return;
    auto it = std::find(instances_.begin(), instances_.end(), effect);
    if (it != instances_.end())
        instances_.erase(it);
    effect->ops->destroy(effect);
}

// ---- handle procedures ----

bool PS_HandleProcs::available() const
{
    return procs_ && procs_->newHandle && procs_->disposeHandle && procs_->getSize && procs_->lock && procs_->unlock;
}

fx::Handle PS_HandleProcs::allocate(std::size_t size)
{
    if (!available() || size > static_cast<std::size_t>(std::numeric_limits<int32_t>::max()))
        return nullptr;
    FpHandle h = nullptr;
    if (procs_->newHandle(static_cast<int32_t>(size), &h) != kFpNoErr)
        return nullptr;
    return wrap(h);
}

void PS_HandleProcs::dispose(fx::Handle handle)
{
    if (handle && available())
        procs_->disposeHandle(unwrap(handle));
}

std::size_t PS_HandleProcs::size(fx::Handle handle)
{
    int32_t size = 0;
    if (!handle || !available() || procs_->getSize(unwrap(handle), &size) != kFpNoErr || size < 0)
        return 0;
    return static_cast<std::size_t>(size);
}

void* PS_HandleProcs::lock(fx::Handle handle)
{
    char* bytes = nullptr;
    if (!handle || !available() || procs_->lock(unwrap(handle), 1, &bytes) != kFpNoErr)
        return nullptr;
    return bytes;
}

void PS_HandleProcs::unlock(fx::Handle handle)
{
    if (handle && available())
        procs_->unlock(unwrap(handle));
}

} // namespace orvo::host
