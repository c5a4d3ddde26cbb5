/* Plug-in resources (PiPL property lists and AETE scripting dictionaries) and how a module file
 * carries them.
 *
 * Container. A module is an ELF shared library. Its resources are bytes in a section named
 * "modres" (FP_RESOURCE_SECTION) that the host reads from the file without loading or running the
 * module. The section is a sequence of entries, each starting at an 8-byte boundary of the
 * section; all integers are little-endian:
 *
 *   offset  size  field
 *   0       4     magic "RSRC" (bytes 52 53 52 43)
 *   4       4     entry size in bytes, header included, a multiple of 8
 *   8       4     resource type, four-character code (kFpResourcePiPL, kFpResourceAETE)
 *   12      4     resource id (int32)
 *   16      4     entry point name length n (bytes, no terminator)
 *   20      4     data length m
 *   24      n     entry point name of the filter the resource belongs to ("PIMAIN_...")
 *   24+n    m     the resource bytes, in the published format of the resource type
 *   ...           zero padding up to the entry size
 *
 * Zero bytes between entries (linker or sanitizer padding) are skipped in steps of 8. Several
 * translation units may each contribute entries; their order in the section is not significant.
 *
 * Four-character codes inside the container and in PiPL/AETE data are stored as little-endian
 * 32-bit values of FP_FOURCC (so 'PiPL' appears as the bytes 4C 50 69 50). */
#ifndef ORVO_PLATFORM_MODULE_RESOURCES_H
#define ORVO_PLATFORM_MODULE_RESOURCES_H

#include "platform/FilterRecord.h"

#define FP_RESOURCE_SECTION "modres"
#define FP_RESOURCE_MAGIC "RSRC"
#define FP_RESOURCE_HEADER_SIZE 24

#define kFpResourcePiPL FP_FOURCC('P', 'i', 'P', 'L')
#define kFpResourceAETE FP_FOURCC('A', 'E', 'T', 'E')

/* PiPL properties: vendor code and property keys. */
#define kFpVendorCode FP_FOURCC('8', 'B', 'I', 'M')
#define kFpPropKind FP_FOURCC('k', 'i', 'n', 'd')
#define kFpPropName FP_FOURCC('n', 'a', 'm', 'e')
#define kFpPropCategory FP_FOURCC('c', 'a', 't', 'g')
#define kFpPropVersion FP_FOURCC('v', 'e', 'r', 's')
#define kFpPropEntryX86 FP_FOURCC('w', 'x', '8', '6')
#define kFpPropModes FP_FOURCC('m', 'o', 'd', 'e')
#define kFpPropScripting FP_FOURCC('h', 's', 't', 'm')
#define kFpPropEnable FP_FOURCC('e', 'n', 'b', 'l')
#define kFpPropFilterCases FP_FOURCC('f', 'i', 'c', 'i')
#define kFpKindFilter FP_FOURCC('8', 'B', 'F', 'M')
#define kFpModeFlagRGB 0x0010u /* RGB bit of the supported-modes word (data bytes 10 00 00 00) */

/* Scripting codes. */
#define kFpKeyParameters FP_FOURCC('p', 'a', 'r', 'M')
#define kFpTypeImageReference FP_FOURCC('#', 'I', 'm', 'R')
#define kFpTypeNull FP_FOURCC('n', 'u', 'l', 'l')
#define kFpScriptingClass FP_FOURCC('q', 'e', 'v', 'F') /* class, event and suite ID of every filter */

/* PiPL layout (Windows resource form, little-endian):
 *   int16 reserved word 1 (the Windows resource form's leading word; optional when reading: a list
 *   that starts directly with its int32 version 0 is read too), int32 version (0), int32 property
 *   count, then per property uint32 vendor, uint32 key, int32 id, int32 length, length data bytes,
 *   zero padding to a multiple of 4 (the length does not count the padding).
 * Property data:
 *   kind  four-character code            vers  int32, major version in the high 16 bits
 *   name, catg  a length byte followed by the characters
 *   wx86, enbl  NUL-terminated text
 *   mode  the supported-modes flags as a little-endian 32-bit word
 *   hstm  int32 version, uint32 class, uint32 event, int16 terminology ID, NUL-terminated scope text
 *   fici  per filter case (seven): input handling, output handling, flags 1, flags 2 (bytes)
 *
 * AETE layout (Windows resource form: little-endian 16-bit numbers, four-character codes as the
 * little-endian 32-bit value, i.e. byte-reversed, strings as a length byte and the characters, no
 * padding anywhere):
 *   int16 resource version 1; dictionary version: byte major, byte minor; int16 language;
 *   int16 script; int16 suite count; per suite: vendor string, description string, uint32 ID,
 *   int16 level, int16 version, int16 event count, events, int16 class count, int16 comparison
 *   operator count, int16 enumeration count (classes, operators and enumerations themselves are
 *   not used by filter modules). Per event: name, description, uint32 class, uint32 ID; reply:
 *   uint32 type, description, int16 flags; direct parameter: uint32 type, description, int16 flags;
 *   int16 parameter count; per parameter: name, uint32 key, uint32 type, description, int16 flags. */
#define kFpPiplReservedWord 1
#define kFpPiplVersion 0
#define kFpAeteResourceVersion 1
#define kFpFilterCaseCount 7

#ifdef __cplusplus
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace fp {

// The bytes of one container entry, built at compile time:
//   constexpr auto pipl = std::array<uint8_t, N>{...};
//   FP_MODULE_RESOURCE(myPipl, fp::resourceEntry<sizeof "PIMAIN_Grain" - 1, pipl.size()>(
//       kFpResourcePiPL, 16009, "PIMAIN_Grain", pipl));
template <std::size_t NameLength, std::size_t DataLength>
struct ResourceEntry {
    static constexpr std::size_t unpadded = FP_RESOURCE_HEADER_SIZE + NameLength + DataLength;
    static constexpr std::size_t size = (unpadded + 7) / 8 * 8;
    alignas(8) std::array<uint8_t, size> bytes{};
};

namespace detail {
constexpr void putLE32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
} // namespace detail

// Appends one container entry (header, entry name, data, zero padding) to a section being built;
// usable at compile time (see host/resources) and at run time.
constexpr void appendResourceEntry(std::vector<uint8_t>& out, uint32_t type, int32_t id,
                                   std::string_view entryName, const std::vector<uint8_t>& data)
{
    const std::size_t unpadded = FP_RESOURCE_HEADER_SIZE + entryName.size() + data.size();
    const std::size_t size = (unpadded + 7) / 8 * 8;
    const std::size_t start = out.size();
    out.resize(start + size, 0);
    uint8_t* p = out.data() + start;
    p[0] = 'R'; p[1] = 'S'; p[2] = 'R'; p[3] = 'C';
    detail::putLE32(p + 4, static_cast<uint32_t>(size));
    detail::putLE32(p + 8, type);
    detail::putLE32(p + 12, static_cast<uint32_t>(id));
    detail::putLE32(p + 16, static_cast<uint32_t>(entryName.size()));
    detail::putLE32(p + 20, static_cast<uint32_t>(data.size()));
    for (std::size_t i = 0; i < entryName.size(); ++i)
        p[FP_RESOURCE_HEADER_SIZE + i] = static_cast<uint8_t>(entryName[i]);
    for (std::size_t i = 0; i < data.size(); ++i)
        p[FP_RESOURCE_HEADER_SIZE + entryName.size() + i] = data[i];
}

template <std::size_t NameLength, std::size_t DataLength>
constexpr ResourceEntry<NameLength, DataLength> resourceEntry(uint32_t type, int32_t id,
                                                              std::string_view entryName,
                                                              const std::array<uint8_t, DataLength>& data)
{
    ResourceEntry<NameLength, DataLength> e{};
    uint8_t* p = e.bytes.data();
    p[0] = 'R'; p[1] = 'S'; p[2] = 'R'; p[3] = 'C';
    detail::putLE32(p + 4, static_cast<uint32_t>(e.size));
    detail::putLE32(p + 8, type);
    detail::putLE32(p + 12, static_cast<uint32_t>(id));
    detail::putLE32(p + 16, static_cast<uint32_t>(NameLength));
    detail::putLE32(p + 20, static_cast<uint32_t>(DataLength));
    for (std::size_t i = 0; i < NameLength && i < entryName.size(); ++i)
        p[FP_RESOURCE_HEADER_SIZE + i] = static_cast<uint8_t>(entryName[i]);
    for (std::size_t i = 0; i < DataLength; ++i)
        p[FP_RESOURCE_HEADER_SIZE + NameLength + i] = data[i];
    return e;
}

} // namespace fp

// Places a constant container entry into the module's resource section. All entries must be
// constant (a section holds either constant or writable objects, not both).
#if defined(__has_attribute) && __has_attribute(retain)
#define FP_RESOURCE_ATTRIBUTES __attribute__((used, retain, section(FP_RESOURCE_SECTION), aligned(8)))
#else
#define FP_RESOURCE_ATTRIBUTES __attribute__((used, section(FP_RESOURCE_SECTION), aligned(8)))
#endif
#define FP_MODULE_RESOURCE(name, ...) \
    FP_RESOURCE_ATTRIBUTES static constexpr auto name = (__VA_ARGS__)
#endif

#endif
