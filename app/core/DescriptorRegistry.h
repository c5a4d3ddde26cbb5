#pragma once

#include "app/core/Descriptor.h"

#include <filesystem>
#include <map>
#include <string>

namespace orvo {

// The host's descriptor registry: descriptors by key (a filter's scripting GUID text). Persistent
// entries are kept in one file, rewritten atomically on every change.
//
// File format (little-endian): "ORVOREG1", uint32 entry count, then per entry uint32 key length,
// the key bytes, uint32 descriptor length and the descriptor in Descriptor::serialize form.
class DescriptorRegistry {
public:
    // The default folder: $XDG_CONFIG_HOME/orvo, else $HOME/.config/orvo (empty when neither is set).
    static std::filesystem::path defaultFolder();
    static constexpr const char* kFileName = "registry";

    // Loads folder/registry when it exists. An unreadable or malformed file is ignored (the
    // registry starts empty) and loadMessage() says why.
    explicit DescriptorRegistry(std::filesystem::path folder);

    const std::filesystem::path& file() const { return file_; }
    const std::string& loadMessage() const { return loadMessage_; }

    const Descriptor* find(const std::string& key) const;
    // Stores a copy; a persistent entry (or replacing one) rewrites the file. Returns false with
    // error set when the file could not be written (the entry is kept in memory).
    bool put(const std::string& key, const Descriptor& d, bool persistent, std::string* error = nullptr);
    bool erase(const std::string& key, std::string* error = nullptr);

private:
    struct Entry {
        Descriptor descriptor;
        bool persistent = false;
    };
    bool save(std::string* error) const;
    std::filesystem::path file_;
    std::map<std::string, Entry> entries_;
    std::string loadMessage_;
};

} // namespace orvo
