#pragma once

// The host's reading of a filter's PiPL and AETE resources (layouts in platform/ModuleResources.h).

#include "app/core/ModuleResources.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvo {

// The scripting property (hstm).
struct PiplTerminology {
    int32_t version = 0;
    uint32_t classId = 0;
    uint32_t eventId = 0;
    int16_t terminologyId = 0;
    std::string scope;
    friend bool operator==(const PiplTerminology&, const PiplTerminology&) = default;
};

// One filter case of the fici property.
struct PiplFilterCase {
    uint8_t inputHandling = 0;
    uint8_t outputHandling = 0;
    uint8_t flags1 = 0;
    uint8_t flags2 = 0;
    friend bool operator==(const PiplFilterCase&, const PiplFilterCase&) = default;
};

// A decoded PiPL. Properties the list lacks keep their empty values; `keys` lists every property
// key in list order (unknown ones included) and `vendors` their vendor codes.
struct PiplRecord {
    std::vector<uint32_t> keys;
    std::vector<uint32_t> vendors;
    uint32_t kind = 0;
    std::string name;
    std::string category;
    uint32_t version = 0;
    std::string entryX86;
    std::optional<uint32_t> modes;
    std::optional<PiplTerminology> terminology;
    std::string enableExpression;
    std::vector<PiplFilterCase> filterCases;
};

// nullopt when the list or one of the properties above is malformed (wrong length, unterminated
// text, a string length past its data).
std::optional<PiplRecord> decodePipl(std::span<const uint8_t> bytes);

// The image modes an enable expression of the form "in (PSHOP_ImageMode, A, B, ...)" admits
// ({"RGBMode", "RGB48Mode"}); empty for any other expression.
std::vector<std::string> enabledModes(const std::string& expression);

struct AeteParameter {
    std::string name;
    uint32_t key = 0;
    uint32_t type = 0;
    std::string description;
    uint16_t flags = 0;
    friend bool operator==(const AeteParameter&, const AeteParameter&) = default;
};

struct AeteEvent {
    std::string name;
    std::string description;
    uint32_t classId = 0;
    uint32_t eventId = 0;
    uint32_t replyType = 0;
    std::string replyDescription;
    uint16_t replyFlags = 0;
    uint32_t directType = 0;
    std::string directDescription;
    uint16_t directFlags = 0;
    std::vector<AeteParameter> parameters;
};

struct AeteSuite {
    std::string vendor;
    std::string description;
    uint32_t id = 0;
    uint16_t level = 0;
    uint16_t version = 0;
    std::vector<AeteEvent> events;
};

struct AeteRecord {
    uint16_t resourceVersion = 0;
    uint8_t majorVersion = 0;
    uint8_t minorVersion = 0;
    uint16_t language = 0;
    uint16_t script = 0;
    std::vector<AeteSuite> suites;
};

// nullopt when malformed: truncated, trailing bytes, or a suite declaring classes, comparison
// operators or enumerations (filter dictionaries hold events only).
std::optional<AeteRecord> decodeAete(std::span<const uint8_t> bytes);

// A filter as its module's resources describe it.
struct FilterResources {
    int32_t resourceId = 0;
    std::string entryName;
    PiplRecord pipl;
    std::optional<AeteRecord> aete; // the AETE with the PiPL's ID, when there is one
};

// Every PiPL of a module file with its AETE, in section order; no module code runs. Throws
// ModuleError naming the file for an unreadable module or a malformed PiPL or AETE.
std::vector<FilterResources> readFilterResources(const std::filesystem::path& file);

// A four-character code as text ('qevF' -> "qevF"); unprintable bytes as '?'.
std::string fourCharText(uint32_t code);

} // namespace orvo
