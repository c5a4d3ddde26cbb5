#include "app/core/Descriptor.h"

#include "platform/FilterRecord.h"

#include <algorithm>

namespace orvo {

void appendLE32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t readLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

const DescriptorItem* Descriptor::find(uint32_t key) const
{
    auto it = std::find_if(items.begin(), items.end(), [&](const DescriptorItem& i) { return i.key == key; });
    return it == items.end() ? nullptr : &*it;
}

void Descriptor::put(uint32_t key, uint32_t type, std::span<const uint8_t> bytes)
{
    DescriptorItem item{key, type, {bytes.begin(), bytes.end()}};
    for (auto& i : items) {
        if (i.key == key) {
            i = std::move(item);
            return;
        }
    }
    items.push_back(std::move(item));
}

void Descriptor::putInteger(uint32_t key, int32_t value)
{
    std::vector<uint8_t> b;
    appendLE32(b, static_cast<uint32_t>(value));
    put(key, kFpTypeInteger, b);
}

std::optional<int32_t> Descriptor::integer(uint32_t key) const
{
    const DescriptorItem* i = find(key);
    if (!i || i->type != kFpTypeInteger || i->bytes.size() != 4)
        return std::nullopt;
    return static_cast<int32_t>(readLE32(i->bytes.data()));
}

std::vector<uint8_t> Descriptor::serialize() const
{
    std::vector<uint8_t> out;
    appendLE32(out, static_cast<uint32_t>(items.size()));
    for (const auto& i : items) {
        appendLE32(out, i.key);
        appendLE32(out, i.type);
        appendLE32(out, static_cast<uint32_t>(i.bytes.size()));
        out.insert(out.end(), i.bytes.begin(), i.bytes.end());
    }
    return out;
}

std::optional<Descriptor> Descriptor::parse(std::span<const uint8_t> bytes)
{
    size_t pos = 0;
    auto take32 = [&](uint32_t& v) {
        if (bytes.size() - pos < 4)
            return false;
        v = readLE32(bytes.data() + pos);
        pos += 4;
        return true;
    };
    uint32_t count = 0;
    if (!take32(count))
        return std::nullopt;
    Descriptor d;
    for (uint32_t n = 0; n < count; ++n) {
        uint32_t key, type, length;
        if (!take32(key) || !take32(type) || !take32(length) || bytes.size() - pos < length)
            return std::nullopt;
        if (d.find(key))
            return std::nullopt;
        d.items.push_back({key, type, {bytes.begin() + pos, bytes.begin() + pos + length}});
        pos += length;
    }
    if (pos != bytes.size())
        return std::nullopt;
    return d;
}

} // namespace orvo
