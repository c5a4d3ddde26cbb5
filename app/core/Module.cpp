#include "app/core/Module.h"

#include "app/core/PluginResources.h"
#include "platform/ModuleResources.h"

#include <dlfcn.h>

namespace orvo {

std::vector<FilterInfo> listFilters(const std::filesystem::path& file)
{
    std::vector<FilterInfo> filters;
    for (FilterResources& r : readFilterResources(file)) {
        if (r.entryName.rfind(FP_ENTRY_PREFIX, 0) != 0)
            throw ModuleError(file.string() + ": resource " + std::to_string(r.resourceId) +
                              " names no " FP_ENTRY_PREFIX " entry point");
        filters.push_back({std::move(r.entryName), std::move(r.pipl.name), std::move(r.pipl.category), r.resourceId});
    }
    if (filters.empty())
        throw ModuleError(file.string() + ": module declares no filters (no PiPL resource)");
    return filters;
}

Module::Module(std::filesystem::path path, std::vector<FilterInfo> filters, void* library)
    : path_(std::move(path)), filters_(std::move(filters)), library_(library)
{
}

Module::~Module()
{
    if (library_)
        dlclose(library_);
}

std::unique_ptr<Module> Module::load(const std::filesystem::path& file)
{
    auto filters = listFilters(file);
    std::filesystem::path absolute = std::filesystem::absolute(file);
    void* library = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        throw ModuleError(file.string() + ": cannot load the module: " + (why ? why : "unknown error"));
    }
    return std::unique_ptr<Module>(new Module(std::move(absolute), std::move(filters), library));
}

FpFilterEntryProc Module::entry(const std::string& entryName) const
{
    bool declared = false;
    for (const auto& f : filters_)
        declared = declared || f.entryName == entryName;
    if (!declared)
        throw ModuleError(path_.string() + ": no filter with entry point " + entryName);
    dlerror();
    void* symbol = dlsym(library_, entryName.c_str());
    if (!symbol)
        throw ModuleError(path_.string() + ": entry point " + entryName + " is not exported");
    return reinterpret_cast<FpFilterEntryProc>(symbol);
}

RunResult runSelectors(HostSession& session, FpFilterEntryProc entry, const std::string& entryName,
                       const RunOptions& options)
{
    RunResult out;
    FilterRecord& record = session.record();
    HostSession::FilterState& state = session.filterState(entryName);
    auto call = [&](int16_t selector) {
        int16_t result = kFpNoErr;
        session.clearErrorText();
        record.parameters = state.parameters;
        entry(selector, &record, &state.data, &result);
        // The parameters handle is the host's to keep; a value that is not a live handle is dropped.
        state.parameters = session.isHandle(record.parameters) ? record.parameters : nullptr;
        out.selector = selector;
        out.result = result;
        if (result == kFpErrorStringErr)
            out.message = session.errorText();
        return result == kFpNoErr;
    };
    if (options.about) {
        call(kFpSelectorAbout);
        return out;
    }
    session.setPlayScript(options.playScript, options.playInfo);
    if (options.parameters && !call(kFpSelectorParameters))
        return out;
    if (!call(kFpSelectorPrepare))
        return out;
    // The run's source is the document as it was before Start; a failed run restores it from there.
    session.beginRun();
    struct EndRun {
        HostSession& s;
        ~EndRun() { s.endRun(); }
    } endRun{session};
    auto fail = [&] {
        session.finishAdvance();
        session.document() = session.source();
        record.inRect = record.outRect = record.maskRect = FpRect16{};
        return out;
    };
    if (!call(kFpSelectorStart))
        return fail();
    // Serve advance-state requests left pending after Start, one Continue per request; a request
    // that Continue leaves unchanged ends the loop (the plug-in makes no progress).
    FpRect16 lastIn{}, lastOut{};
    bool first = true;
    while (session.hasRequest()) {
        auto same = [](const FpRect16& a, const FpRect16& b) {
            return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
        };
        if (!first && same(lastIn, record.inRect) && same(lastOut, record.outRect))
            break;
        first = false;
        lastIn = record.inRect;
        lastOut = record.outRect;
        if (int16_t err = session.advance()) {
            out.result = err;
            return fail();
        }
        if (!call(kFpSelectorContinue))
            return fail();
    }
    session.finishAdvance();
    if (first && !call(kFpSelectorContinue))
        return fail();
    if (!call(kFpSelectorFinish))
        return fail();
    out.recordInfo = session.recordInfo();
    out.recorded = session.takeRecordedScript();
    return out;
}

RunResult runFilter(HostSession& session, const Module& module, const std::string& entryName,
                    const RunOptions& options)
{
    FpFilterEntryProc entry = module.entry(entryName);
    session.setModulePath(module.path().string());
    return runSelectors(session, entry, entryName, options);
}

} // namespace orvo
