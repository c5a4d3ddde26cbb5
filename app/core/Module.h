#pragma once

#include "app/core/HostSession.h"
#include "app/core/ModuleResources.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvo {

// A filter a module declares in its PiPL resources.
struct FilterInfo {
    std::string entryName; // "PIMAIN_..."
    std::string menuName;  // the name property, when present
    std::string category;  // the catg property, when present
    int32_t resourceId = 0;
};

// Filters of a module, from its resource section alone (no module code runs). Throws ModuleError.
std::vector<FilterInfo> listFilters(const std::filesystem::path& file);

// A loaded module: resources read first from the file, then the shared library opened.
class Module {
public:
    // Throws ModuleError naming the file: not a module, no resources, or the library does not load.
    static std::unique_ptr<Module> load(const std::filesystem::path& file);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const std::vector<FilterInfo>& filters() const { return filters_; }
    // The exported entry point of a filter the resources declare; throws ModuleError otherwise.
    FpFilterEntryProc entry(const std::string& entryName) const;

private:
    Module(std::filesystem::path path, std::vector<FilterInfo> filters, void* library);
    std::filesystem::path path_;
    std::vector<FilterInfo> filters_;
    void* library_;
};

// How the host runs a filter: the selector sequence of one filter command.
struct RunOptions {
    bool about = false;         // run About alone
    bool parameters = true;     // call Parameters first (the user picked the filter from the menu)
    const Descriptor* playScript = nullptr; // replay a recorded action
    int16_t playInfo = kFpDialogOptional;
};

struct RunResult {
    int16_t result = kFpNoErr;
    int16_t selector = kFpSelectorAbout; // the last selector called
    std::string message;                 // errorString text for -30904
    std::optional<Descriptor> recorded;  // the script descriptor after Finish
    int16_t recordInfo = kFpDialogOptional;
};

// Calls the entry point with About, or with Parameters (optional), Prepare, Start, Continue (while
// the plug-in leaves an advance-state request pending) and Finish, stopping at the first failure.
// When Start, Continue or Finish fails or is cancelled, the document is restored to its state
// before Start. The session's module path must be set by the caller (Module does for runFilter
// below).
RunResult runSelectors(HostSession& session, FpFilterEntryProc entry, const std::string& entryName,
                       const RunOptions& options = {});
RunResult runFilter(HostSession& session, const Module& module, const std::string& entryName,
                    const RunOptions& options = {});

} // namespace orvo
