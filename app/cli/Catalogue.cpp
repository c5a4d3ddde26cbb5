#include "app/cli/Catalogue.h"

#include "framework/ParameterBlob.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dlfcn.h>
#include <set>
#include <unistd.h>

namespace orvo::cli {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Compared without case, spaces and punctuation: "Orvo Warm/Cool" ~ "orvo warmcool".
std::string squeeze(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

size_t distance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

fs::path executableFolder()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

const char* extensionError(int32_t code)
{
    switch (code) {
    case kOrvoExtUnknownFilter: return "the module does not know this filter";
    case kOrvoExtUnavailable: return "the filter's effect is not built into its module yet";
    case kOrvoExtForeignBlob: return "the parameters are not for this filter";
    case kOrvoExtBadIndex: return "no such parameter";
    case kOrvoExtBadValue: return "the value does not fit the parameter";
    default: return "the module failed";
    }
}

} // namespace

std::string CatalogueFilter::suffix() const
{
    return entryName.rfind(FP_ENTRY_PREFIX, 0) == 0 ? entryName.substr(sizeof(FP_ENTRY_PREFIX) - 1) : entryName;
}

std::string CatalogueFilter::plainMenuName() const
{
    std::string s = menuName;
    while (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

std::vector<fs::path> Catalogue::searchFolders(const std::string& pluginsOption)
{
    std::vector<fs::path> folders;
    if (!pluginsOption.empty())
        folders.emplace_back(pluginsOption);
    if (const char* env = std::getenv("ORVO_PLUGIN_PATH")) {
        std::string list(env);
        size_t start = 0;
        while (start <= list.size()) {
            const size_t colon = list.find(':', start);
            const std::string item = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!item.empty())
                folders.emplace_back(item);
            if (colon == std::string::npos)
                break;
            start = colon + 1;
        }
    }
    const fs::path beside = executableFolder();
    if (!beside.empty())
        folders.push_back(beside / "plugins");
    return folders;
}

Catalogue::Catalogue(const std::vector<fs::path>& folders) : folders_(folders)
{
    std::set<std::string> seen;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        if (!fs::is_directory(folder, ec))
            continue;
        std::vector<fs::path> files;
        for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
            if (e.path().extension() == ".so" && e.is_regular_file(ec))
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            try {
                for (FilterResources& r : readFilterResources(file)) {
                    if (r.entryName.rfind(FP_ENTRY_PREFIX, 0) != 0 ||
                        !seen.insert(file.filename().string() + "/" + r.entryName).second)
                        continue;
                    filters_.push_back({file, r.entryName, r.pipl.name, r.pipl.category,
                                        r.pipl.terminology ? r.pipl.terminology->scope : std::string()});
                }
            } catch (const std::exception& e) {
                problems_.push_back(e.what());
            }
        }
    }
}

const CatalogueFilter& Catalogue::resolve(const std::string& name)
{
    if (filters_.empty())
        throw CatalogueError("no plug-in modules found (searched " +
                             [&] {
                                 std::string s;
                                 for (const fs::path& f : folders_)
                                     {
                                     if (!s.empty())
                                         s += ", ";
                                     s += f.string();
                                 }
                                 return s.empty() ? std::string("nowhere") : s;
                             }() +
                             "); use --plugins DIR or ORVO_PLUGIN_PATH");
    const std::string want = lower(name);
    std::string wantPlain = want;
    while (!wantPlain.empty() && wantPlain.back() == '.')
        wantPlain.pop_back();
    std::vector<const CatalogueFilter*> matches;
    for (const CatalogueFilter& f : filters_)
        if (lower(f.plainMenuName()) == wantPlain || lower(f.suffix()) == want || lower(f.entryName) == want)
            matches.push_back(&f);
    if (matches.empty()) {
        // Registration names differ from the export suffix for a few filters: ask the modules.
        for (const CatalogueFilter& f : filters_) {
            try {
                if (lower(describe(f).registrationName) == want)
                    matches.push_back(&f);
            } catch (const std::exception&) {
            }
        }
    }
    if (matches.size() == 1)
        return *matches.front();
    std::vector<std::string> candidates;
    if (matches.size() > 1) {
        for (const CatalogueFilter* f : matches)
            candidates.push_back(f->plainMenuName() + " (" + f->module.filename().string() + ")");
    } else {
        const std::string w = squeeze(name);
        for (const CatalogueFilter& f : filters_) {
            const std::string menu = squeeze(f.plainMenuName()), suffix = squeeze(f.suffix());
            bool close = (!w.empty() && (menu.find(w) != std::string::npos || suffix.find(w) != std::string::npos)) ||
                         distance(w, suffix) <= 2 || distance(w, menu) <= 2;
            // A word of the menu name within one or two edits ("blurr" ~ "Fast Blur").
            std::string word;
            for (char ch : f.plainMenuName() + " ") {
                if (std::isalnum(static_cast<unsigned char>(ch))) {
                    word += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                } else if (!word.empty()) {
                    close = close || (word.size() >= 3 && distance(w, word) <= (word.size() > 5 ? 2u : 1u));
                    word.clear();
                }
            }
            if (close)
                candidates.push_back(f.plainMenuName());
        }
    }
    std::string message = (matches.size() > 1 ? "ambiguous filter name \"" : "unknown filter \"") + name + "\"";
    if (!candidates.empty()) {
        message += "; did you mean: ";
        for (size_t i = 0; i < candidates.size() && i < 12; ++i)
            message += (i ? ", \"" : "\"") + candidates[i] + "\"";
    }
    message += " (orvo list shows every filter)";
    throw CatalogueError(message);
}

const Module& Catalogue::module(const CatalogueFilter& f)
{
    auto it = loaded_.find(f.module);
    if (it == loaded_.end())
        it = loaded_.emplace(f.module, Module::load(f.module)).first;
    return *it->second;
}

Catalogue::Extension Catalogue::extension(const CatalogueFilter& f)
{
    const Module& m = module(f);
    void* handle = dlopen(m.path().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    Extension e;
    if (handle) {
        e.describe = reinterpret_cast<OrvoExtDescribeProc>(dlsym(handle, kOrvoExtDescribeName));
        e.edit = reinterpret_cast<OrvoExtEditProc>(dlsym(handle, kOrvoExtEditName));
        dlclose(handle); // the Module keeps its own reference
    }
    if (!e.describe || !e.edit)
        throw CatalogueError(f.module.string() + " does not describe its parameters (no " kOrvoExtDescribeName
                             " / " kOrvoExtEditName " export)");
    return e;
}

FilterTable Catalogue::describe(const CatalogueFilter& f)
{
    const Extension e = extension(f);
    const int32_t length = e.describe(f.entryName.c_str(), nullptr, 0);
    if (length < 0)
        throw CatalogueError(f.plainMenuName() + ": " + extensionError(length));
    std::string text(static_cast<size_t>(length) + 1, '\0');
    if (e.describe(f.entryName.c_str(), text.data(), length + 1) != length)
        throw CatalogueError(f.plainMenuName() + ": the module's description changed between calls");
    text.resize(static_cast<size_t>(length));
    return parseFilterTable(text);
}

EditResult Catalogue::edit(const CatalogueFilter& f, const std::vector<uint8_t>& blob, int index,
                           const std::vector<uint8_t>& value)
{
    const Extension e = extension(f);
    auto call = [&](void* out, int32_t capacity, uint8_t* enabled, int32_t enabledCapacity) {
        return e.edit(f.entryName.c_str(), blob.empty() ? nullptr : blob.data(), static_cast<int32_t>(blob.size()),
                      index, value.empty() ? nullptr : value.data(), static_cast<int32_t>(value.size()), out, capacity,
                      enabled, enabledCapacity);
    };
    const int32_t size = call(nullptr, 0, nullptr, 0);
    if (size < 0)
        throw CatalogueError(f.plainMenuName() + ": " + extensionError(size));
    EditResult r;
    r.blob.resize(static_cast<size_t>(size));
    // The parameter count follows from the blob's size (header plus one record per parameter).
    const auto bytes = static_cast<size_t>(size);
    r.enabled.assign(bytes >= fx::blob::HeaderSize ? (bytes - fx::blob::HeaderSize) / fx::blob::RecordSize : 0, 1);
    const int32_t again = call(r.blob.data(), size, r.enabled.data(), static_cast<int32_t>(r.enabled.size()));
    if (again != size)
        throw CatalogueError(f.plainMenuName() + ": " + extensionError(again < 0 ? again : kOrvoExtFailed));
    return r;
}

} // namespace orvo::cli
