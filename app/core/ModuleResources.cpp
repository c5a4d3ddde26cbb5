#include "app/core/ModuleResources.h"

#include "app/core/Descriptor.h"
#include "platform/ModuleResources.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace orvo {

namespace {

constexpr std::uintmax_t kMaxModuleSize = 1u << 30;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint64_t le64(const uint8_t* p) { return uint64_t(readLE32(p)) | uint64_t(readLE32(p + 4)) << 32; }

bool fits(uint64_t offset, uint64_t size, uint64_t total) { return offset <= total && size <= total - offset; }

} // namespace

std::optional<std::span<const uint8_t>> elfSection(std::span<const uint8_t> f, const std::string& name,
                                                   const std::string& what)
{
    static const uint8_t magic[4] = {0x7f, 'E', 'L', 'F'};
    if (f.size() < 64 || std::memcmp(f.data(), magic, 4) != 0)
        throw ModuleError(what + ": not a plug-in module (not an ELF shared library)");
    if (f[4] != 2 || f[5] != 1)
        throw ModuleError(what + ": not a plug-in module for this platform (not 64-bit little-endian ELF)");
    const uint64_t shoff = le64(f.data() + 0x28);
    const uint16_t shentsize = le16(f.data() + 0x3a);
    uint64_t shnum = le16(f.data() + 0x3c);
    uint32_t shstrndx = le16(f.data() + 0x3e);
    auto corrupt = [&](const char* why) { return ModuleError(what + ": corrupt module (" + why + ")"); };
    if (shoff == 0)
        return std::nullopt;
    if (shentsize != 64 || !fits(shoff, 64, f.size()))
        throw corrupt("section table outside the file");
    const uint8_t* first = f.data() + shoff;
    if (shnum == 0)
        shnum = le64(first + 0x20);      // extended count in section 0's size
    if (shstrndx == 0xffff)
        shstrndx = readLE32(first + 0x28); // extended index in section 0's link
    if (shnum > (f.size() - shoff) / 64)
        throw corrupt("section table outside the file");
    if (shstrndx >= shnum)
        throw corrupt("bad section name table index");
    auto header = [&](uint64_t i) { return f.data() + shoff + i * 64; };
    const uint8_t* strHeader = header(shstrndx);
    const uint64_t strOff = le64(strHeader + 0x18), strSize = le64(strHeader + 0x20);
    if (readLE32(strHeader + 4) == 8 || !fits(strOff, strSize, f.size()))
        throw corrupt("section names outside the file");
    for (uint64_t i = 0; i < shnum; ++i) {
        const uint8_t* h = header(i);
        const uint32_t nameOff = readLE32(h);
        if (nameOff >= strSize)
            continue;
        const char* n = reinterpret_cast<const char*>(f.data() + strOff + nameOff);
        const size_t maxLen = static_cast<size_t>(strSize - nameOff);
        if (strnlen(n, maxLen) != name.size() || std::memcmp(n, name.data(), name.size()) != 0)
            continue;
        const uint32_t type = readLE32(h + 4);
        const uint64_t off = le64(h + 0x18), size = le64(h + 0x20);
        if (type == 8 /* no bits in the file */ || !fits(off, size, f.size()))
            throw corrupt("resource section outside the file");
        return f.subspan(off, size);
    }
    return std::nullopt;
}

std::vector<ModuleResource> parseResourceSection(std::span<const uint8_t> s, const std::string& what)
{
    std::vector<ModuleResource> out;
    size_t pos = 0;
    while (s.size() - pos >= 8) {
        if (std::memcmp(s.data() + pos, FP_RESOURCE_MAGIC, 4) != 0) {
            static const uint8_t zeros[8] = {};
            if (std::memcmp(s.data() + pos, zeros, 8) != 0)
                throw ModuleError(what + ": corrupt plug-in resources at section offset " + std::to_string(pos));
            pos += 8;
            continue;
        }
        auto bad = [&] {
            return ModuleError(what + ": corrupt plug-in resource entry at section offset " + std::to_string(pos));
        };
        if (s.size() - pos < FP_RESOURCE_HEADER_SIZE)
            throw bad();
        const uint8_t* e = s.data() + pos;
        const uint64_t size = readLE32(e + 4), nameLen = readLE32(e + 16), dataLen = readLE32(e + 20);
        if (size % 8 || size < FP_RESOURCE_HEADER_SIZE || size > s.size() - pos ||
            nameLen + dataLen > size - FP_RESOURCE_HEADER_SIZE)
            throw bad();
        ModuleResource r;
        r.type = readLE32(e + 8);
        r.id = static_cast<int32_t>(readLE32(e + 12));
        r.entryName.assign(reinterpret_cast<const char*>(e + FP_RESOURCE_HEADER_SIZE), nameLen);
        const uint8_t* data = e + FP_RESOURCE_HEADER_SIZE + nameLen;
        r.data.assign(data, data + dataLen);
        out.push_back(std::move(r));
        pos += size;
    }
    for (; pos < s.size(); ++pos)
        if (s[pos] != 0)
            throw ModuleError(what + ": corrupt plug-in resources at section offset " + std::to_string(pos));
    return out;
}

std::vector<ModuleResource> readModuleResources(const std::filesystem::path& file)
{
    const std::string what = file.string();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw ModuleError(what + ": not a plug-in module (no such file)");
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size > kMaxModuleSize)
        throw ModuleError(what + ": cannot read the module file");
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw ModuleError(what + ": cannot read the module file");
    auto section = elfSection(bytes, FP_RESOURCE_SECTION, what);
    if (!section)
        throw ModuleError(what + ": module has no plug-in resources (no \"" FP_RESOURCE_SECTION "\" section)");
    auto resources = parseResourceSection(*section, what);
    if (resources.empty())
        throw ModuleError(what + ": module has no plug-in resources (empty \"" FP_RESOURCE_SECTION "\" section)");
    return resources;
}

std::optional<std::vector<PiplProperty>> parsePipl(std::span<const uint8_t> b)
{
    // The Windows resource form starts with the 16-bit reserved word 1 (bytes 01 00); a bare list
    // starts with its int32 version 0 (bytes 00 00 00 00), so the two cannot be confused.
    if (b.size() >= 2 && le16(b.data()) == kFpPiplReservedWord)
        b = b.subspan(2);
    if (b.size() < 8 || readLE32(b.data()) != kFpPiplVersion)
        return std::nullopt;
    const uint32_t count = readLE32(b.data() + 4);
    size_t pos = 8;
    std::vector<PiplProperty> props;
    for (uint32_t i = 0; i < count; ++i) {
        if (b.size() - pos < 16)
            return std::nullopt;
        PiplProperty p;
        p.vendor = readLE32(b.data() + pos);
        p.key = readLE32(b.data() + pos + 4);
        p.id = static_cast<int32_t>(readLE32(b.data() + pos + 8));
        const uint64_t length = readLE32(b.data() + pos + 12);
        pos += 16;
        const uint64_t padded = (length + 3) / 4 * 4;
        if (padded > b.size() - pos)
            return std::nullopt;
        p.data.assign(b.begin() + pos, b.begin() + pos + length);
        pos += padded;
        props.push_back(std::move(p));
    }
    return props;
}

const PiplProperty* findProperty(const std::vector<PiplProperty>& props, uint32_t key)
{
    for (const auto& p : props)
        if (p.key == key)
            return &p;
    return nullptr;
}

std::optional<std::string> pascalText(const PiplProperty& p)
{
    if (p.data.empty() || p.data[0] > p.data.size() - 1)
        return std::nullopt;
    return std::string(p.data.begin() + 1, p.data.begin() + 1 + p.data[0]);
}

std::optional<std::string> cText(const PiplProperty& p)
{
    auto end = std::find(p.data.begin(), p.data.end(), uint8_t{0});
    if (end == p.data.end())
        return std::nullopt;
    return std::string(p.data.begin(), end);
}

} // namespace orvo
