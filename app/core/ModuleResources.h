#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvo {

// A module file that cannot be used; the message names the file and says why.
struct ModuleError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One resource of a module's resource section (see platform/ModuleResources.h).
struct ModuleResource {
    uint32_t type = 0;
    int32_t id = 0;
    std::string entryName;
    std::vector<uint8_t> data;
};

// Reads the resources of a module file without loading it: the ELF64 little-endian section
// "modres". Throws ModuleError when the file cannot be read, is not an ELF64 module, has no
// resource section or holds a malformed one. Every offset and size from the file is checked.
std::vector<ModuleResource> readModuleResources(const std::filesystem::path& file);

// The section lookup and the container parser on bytes in memory (what readModuleResources uses).
// sectionBytes returns nullopt when there is no such section; both throw ModuleError(what + ...)
// for malformed input, with `what` naming the file.
std::optional<std::span<const uint8_t>> elfSection(std::span<const uint8_t> file, const std::string& name,
                                                   const std::string& what);
std::vector<ModuleResource> parseResourceSection(std::span<const uint8_t> section, const std::string& what);

// A PiPL property list: (reserved word,) version, then (vendor, key, id, data) properties.
struct PiplProperty {
    uint32_t vendor = 0;
    uint32_t key = 0;
    int32_t id = 0;
    std::vector<uint8_t> data;
};
// Parses a PiPL; nullopt when it is malformed.
std::optional<std::vector<PiplProperty>> parsePipl(std::span<const uint8_t> bytes);
const PiplProperty* findProperty(const std::vector<PiplProperty>& props, uint32_t key);
// Property data as a length-prefixed string (name, catg) or as NUL-terminated text (wx86).
std::optional<std::string> pascalText(const PiplProperty& p);
std::optional<std::string> cText(const PiplProperty& p);

} // namespace orvo
