#pragma once

// The filters of the plug-in modules orvo finds, and access to a filter's module: its entry point
// and the two functions of our protocol extension (platform/Extension.h).
//
// Modules are searched, in this order, in the folder given with --plugins, in the folders of
// ORVO_PLUGIN_PATH (separated by ':'), and in the "plugins" folder beside the orvo executable.
// Every regular file ending in ".so" in those folders is a candidate; a module file name found in
// two folders counts once (the first).

#include "app/cli/ParameterTable.h"
#include "app/core/Module.h"
#include "app/core/PluginResources.h"
#include "platform/Extension.h"

#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvo::cli {

struct CatalogueError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct CatalogueFilter {
    std::filesystem::path module;
    std::string entryName;   // "PIMAIN_Grain"
    std::string menuName;    // "Orvo Grain..."
    std::string category;
    std::string scope;       // the scripting GUID text (its key in the descriptor registry)
    std::string suffix() const;          // "Grain"
    std::string plainMenuName() const;   // "Orvo Grain"
};

struct EditResult {
    std::vector<uint8_t> blob;
    std::vector<uint8_t> enabled;
};

class Catalogue {
public:
    static std::vector<std::filesystem::path> searchFolders(const std::string& pluginsOption);

    // Reads the resources of every module in the folders (no module code runs). Unreadable modules
    // are skipped and reported by problems().
    explicit Catalogue(const std::vector<std::filesystem::path>& folders);

    const std::vector<CatalogueFilter>& filters() const { return filters_; }
    const std::vector<std::string>& problems() const { return problems_; }
    const std::vector<std::filesystem::path>& folders() const { return folders_; }

    // FILTER as a menu name without "..." ("Orvo Grain"), a registration name ("Grain") or the
    // export suffix, case-insensitively. Throws CatalogueError listing close candidates.
    const CatalogueFilter& resolve(const std::string& name);

    const Module& module(const CatalogueFilter& f);
    // The parameter table; throws CatalogueError when the module does not describe the filter.
    FilterTable describe(const CatalogueFilter& f);
    // One edit through the module (index < 0: none). Throws CatalogueError with a clear message.
    EditResult edit(const CatalogueFilter& f, const std::vector<uint8_t>& blob, int index,
                    const std::vector<uint8_t>& value);

private:
    struct Extension {
        OrvoExtDescribeProc describe = nullptr;
        OrvoExtEditProc edit = nullptr;
    };
    Extension extension(const CatalogueFilter& f);
    std::vector<std::filesystem::path> folders_;
    std::vector<CatalogueFilter> filters_;
    std::vector<std::string> problems_;
    std::map<std::filesystem::path, std::unique_ptr<Module>> loaded_;
};

} // namespace orvo::cli
