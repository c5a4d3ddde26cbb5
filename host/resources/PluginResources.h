// PiPL and AETE resources of a module's filters, encoded from the module's filter table.
//
// Every function here is constexpr: a module's Resources.cpp encodes its whole resource section at
// compile time (ORVO_MODULE_RESOURCES below), and the resource-script generator calls the same
// functions at run time, so the ELF section and the Windows resource script carry the same bytes.
// The byte layouts are described in platform/ModuleResources.h.
#pragma once

#include "platform/ModuleResources.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

// One row of a module's Filters.def.
struct FilterRow {
    int32_t resourceId = 0;
    std::string_view menuName;         // "Orvo Black Mist..."
    std::string_view entryPoint;       // "PIMAIN_BlackMist"
    std::string_view registrationName; // "BlackMist"
    std::string_view scope;            // the scripting GUID text, 36 characters
    bool showsAbout = false;
};

// A module's filters and the strings shared by all of them.
struct ModuleTable {
    std::string_view category;    // PiPL catg: "Tessmark Orvo v5", "Tessmark"
    std::string_view productWord; // leading menu-name word left out of AETE descriptions ("Orvo"), or empty
    std::span<const FilterRow> filters;
};

// Fixed values of every filter's resources.
inline constexpr uint32_t kPiplInterfaceVersion = 4u << 16; // 4.0
inline constexpr std::string_view kEnableExpression = "in (PSHOP_ImageMode, RGBMode, RGB48Mode)";
inline constexpr std::array<uint8_t, 4> kFilterCase = {4, 4, 4, 0}; // input, output, flags 1, flags 2
inline constexpr std::string_view kAeteVendor = "QEV";
inline constexpr std::string_view kAeteEventPrefix = "QEV ";
inline constexpr std::string_view kAeteParameterName = "parameters";
inline constexpr uint16_t kDirectParameterFlags = 0xB000;

namespace detail {

// Thrown during constant evaluation this stops the build with the message in the diagnostic.
constexpr void require(bool ok, const char* what)
{
    if (!ok)
        throw std::invalid_argument(what);
}

struct Writer {
    std::vector<uint8_t> bytes;
    constexpr void u8(uint8_t v) { bytes.push_back(v); }
    constexpr void le16(uint16_t v)
    {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    constexpr void le32(uint32_t v)
    {
        le16(static_cast<uint16_t>(v));
        le16(static_cast<uint16_t>(v >> 16));
    }
    constexpr void text(std::string_view s)
    {
        for (char c : s)
            u8(static_cast<uint8_t>(c));
    }
    constexpr void pascal(std::string_view s)
    {
        require(s.size() <= 255, "string longer than 255 characters");
        u8(static_cast<uint8_t>(s.size()));
        text(s);
    }
    constexpr void cString(std::string_view s)
    {
        require(s.find('\0') == std::string_view::npos, "NUL inside a text property");
        text(s);
        u8(0);
    }
};

// One PiPL property: header, data, zero padding to 4 bytes; the length field leaves out the padding.
template <typename Fill>
constexpr void property(Writer& w, uint32_t key, Fill fill)
{
    w.le32(kFpVendorCode);
    w.le32(key);
    w.le32(0); // property id
    const std::size_t lengthAt = w.bytes.size();
    w.le32(0);
    const std::size_t start = w.bytes.size();
    fill(w);
    const std::size_t length = w.bytes.size() - start;
    for (int i = 0; i < 4; ++i)
        w.bytes[lengthAt + i] = static_cast<uint8_t>(length >> (8 * i));
    for (std::size_t pad = (4 - length % 4) % 4; pad > 0; --pad)
        w.u8(0);
}

} // namespace detail

// The AETE suite description: the menu name without the module's product word and the dots
// ("Orvo Black Mist..." -> "Black Mist", "Lumenvat 2..." -> "Lumenvat 2").
constexpr std::string_view aeteDescription(const ModuleTable& module, const FilterRow& row)
{
    std::string_view d = row.menuName;
    if (!module.productWord.empty() && d.size() > module.productWord.size() &&
        d.substr(0, module.productWord.size()) == module.productWord && d[module.productWord.size()] == ' ')
        d.remove_prefix(module.productWord.size() + 1);
    if (d.size() >= 3 && d.substr(d.size() - 3) == "...")
        d.remove_suffix(3);
    return d;
}

// Checks a table: menu names end in "...", entry points are PIMAIN_ names, scopes are GUID texts,
// resource IDs fit the 16-bit terminology ID, and no resource ID or entry point appears twice.
// Returns true or throws std::invalid_argument (a compile error in constant evaluation).
constexpr bool checkTable(const ModuleTable& module)
{
    using detail::require;
    require(!module.filters.empty(), "module without filters");
    require(!module.category.empty() && module.category.size() <= 255, "bad category");
    for (std::size_t i = 0; i < module.filters.size(); ++i) {
        const FilterRow& r = module.filters[i];
        require(r.menuName.size() > 3 && r.menuName.size() <= 255 &&
                    r.menuName.substr(r.menuName.size() - 3) == "...",
                "menu name must end in \"...\"");
        require(r.entryPoint.size() > 7 && r.entryPoint.substr(0, 7) == FP_ENTRY_PREFIX, "entry point is not PIMAIN_*");
        require(!r.registrationName.empty(), "empty registration name");
        require(r.resourceId >= 0 && r.resourceId <= 32767, "resource ID outside 0..32767");
        require(r.scope.size() == 36 && r.scope[8] == '-' && r.scope[13] == '-' && r.scope[18] == '-' &&
                    r.scope[23] == '-',
                "scope is not a GUID text");
        for (std::size_t j = 0; j < i; ++j) {
            require(module.filters[j].resourceId != r.resourceId, "resource ID used twice");
            require(module.filters[j].entryPoint != r.entryPoint, "entry point used twice");
        }
    }
    return true;
}

// The PiPL of one filter: kind, name, catg, vers, wx86, mode, hstm, enbl, fici (in that order).
constexpr std::vector<uint8_t> encodePipl(const ModuleTable& module, const FilterRow& row)
{
    using detail::Writer;
    Writer w;
    w.le16(kFpPiplReservedWord);
    w.le32(kFpPiplVersion);
    w.le32(9); // property count
    detail::property(w, kFpPropKind, [](Writer& p) { p.le32(kFpKindFilter); });
    detail::property(w, kFpPropName, [&](Writer& p) { p.pascal(row.menuName); });
    detail::property(w, kFpPropCategory, [&](Writer& p) { p.pascal(module.category); });
    detail::property(w, kFpPropVersion, [](Writer& p) { p.le32(kPiplInterfaceVersion); });
    detail::property(w, kFpPropEntryX86, [&](Writer& p) { p.cString(row.entryPoint); });
    detail::property(w, kFpPropModes, [](Writer& p) { p.le32(kFpModeFlagRGB); });
    detail::property(w, kFpPropScripting, [&](Writer& p) {
        p.le32(0); // version
        p.le32(kFpScriptingClass);
        p.le32(kFpScriptingClass); // event
        p.le16(static_cast<uint16_t>(row.resourceId));
        p.cString(row.scope);
    });
    detail::property(w, kFpPropEnable, [](Writer& p) { p.cString(kEnableExpression); });
    detail::property(w, kFpPropFilterCases, [](Writer& p) {
        for (int c = 0; c < kFpFilterCaseCount; ++c)
            for (uint8_t b : kFilterCase)
                p.u8(b);
    });
    return std::move(w.bytes);
}

// The AETE of one filter: one suite with one event taking the image reference as its direct
// parameter and one parameter, "parameters" ('parM', text), that carries the parameter blob.
constexpr std::vector<uint8_t> encodeAete(const ModuleTable& module, const FilterRow& row)
{
    const std::string_view description = aeteDescription(module, row);
    detail::require(kAeteEventPrefix.size() + description.size() <= 255, "AETE event name too long");
    detail::Writer w;
    w.le16(kFpAeteResourceVersion);
    w.u8(1); // dictionary version 1.0
    w.u8(0);
    w.le16(0); // language
    w.le16(0); // script
    w.le16(1); // suites
    w.pascal(kAeteVendor);
    w.pascal(description);
    w.le32(kFpScriptingClass); // suite ID
    w.le16(1);                 // level
    w.le16(1);                 // version
    w.le16(1);                 // events
    w.u8(static_cast<uint8_t>(kAeteEventPrefix.size() + description.size()));
    w.text(kAeteEventPrefix);
    w.text(description);
    w.pascal("");              // event description
    w.le32(kFpScriptingClass); // event class
    w.le32(kFpScriptingClass); // event ID
    w.le32(kFpTypeNull);       // reply
    w.pascal("");
    w.le16(0);
    w.le32(kFpTypeImageReference); // direct parameter
    w.pascal("");
    w.le16(kDirectParameterFlags);
    w.le16(1); // parameters
    w.pascal(kAeteParameterName);
    w.le32(kFpKeyParameters);
    w.le32(kFpTypeText);
    w.pascal("");
    w.le16(0);
    w.le16(0); // classes
    w.le16(0); // comparison operators
    w.le16(0); // enumerations
    return std::move(w.bytes);
}

// The container entries of one filter: its PiPL, then its AETE, both with the filter's resource
// ID and entry point.
constexpr std::vector<uint8_t> encodeFilterEntries(const ModuleTable& module, const FilterRow& row)
{
    std::vector<uint8_t> entries;
    fp::appendResourceEntry(entries, kFpResourcePiPL, row.resourceId, row.entryPoint, encodePipl(module, row));
    fp::appendResourceEntry(entries, kFpResourceAETE, row.resourceId, row.entryPoint, encodeAete(module, row));
    return entries;
}

namespace detail {

// One filter's entries as a constant, evaluated on its own so that no single constant evaluation
// grows with the number of filters (compilers bound the work of each).
template <const ModuleTable& Module, std::size_t Index>
struct FilterEntries {
    static constexpr std::size_t size = encodeFilterEntries(Module, Module.filters[Index]).size();
    static constexpr std::array<uint8_t, size> bytes = [] {
        std::array<uint8_t, size> a{};
        const std::vector<uint8_t> v = encodeFilterEntries(Module, Module.filters[Index]);
        for (std::size_t i = 0; i < size; ++i)
            a[i] = v[i];
        return a;
    }();
};

template <const ModuleTable& Module, std::size_t... Index>
constexpr auto concatenateEntries(std::index_sequence<Index...>)
{
    std::array<uint8_t, (FilterEntries<Module, Index>::size + ...)> out{};
    std::size_t pos = 0;
    auto append = [&](const auto& part) {
        for (uint8_t b : part)
            out[pos++] = b;
    };
    (append(FilterEntries<Module, Index>::bytes), ...);
    return out;
}

} // namespace detail

// The module's whole resource section as a constant array: the entries of every filter in table
// order (what the module file carries).
template <const ModuleTable& Module>
constexpr auto moduleSectionBytes()
{
    static_assert(checkTable(Module));
    return detail::concatenateEntries<Module>(std::make_index_sequence<Module.filters.size()>{});
}

} // namespace host

// Places the resources of a module table (a constexpr host::ModuleTable with static storage) into
// the module's resource section.
#define ORVO_MODULE_RESOURCES(table) FP_MODULE_RESOURCE(orvoModuleResources, host::moduleSectionBytes<table>())
