#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvo {

// The host's descriptor: an ordered list of (key, type, bytes) items with unique keys. Action
// descriptors, script descriptors and registry entries all hold one.
struct DescriptorItem {
    uint32_t key = 0;
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
    friend bool operator==(const DescriptorItem&, const DescriptorItem&) = default;
};

struct Descriptor {
    std::vector<DescriptorItem> items;

    const DescriptorItem* find(uint32_t key) const;
    // Replaces the item with this key or appends a new one.
    void put(uint32_t key, uint32_t type, std::span<const uint8_t> bytes);
    void putInteger(uint32_t key, int32_t value);
    std::optional<int32_t> integer(uint32_t key) const;

    // Serialised form (little-endian): uint32 count, then per item uint32 key, uint32 type,
    // uint32 length and the bytes.
    std::vector<uint8_t> serialize() const;
    // Parses the serialised form; nullopt for anything malformed (bounds-checked, no trailing bytes,
    // no duplicate keys).
    static std::optional<Descriptor> parse(std::span<const uint8_t> bytes);

    friend bool operator==(const Descriptor&, const Descriptor&) = default;
};

// Little-endian helpers shared by the host's file formats.
void appendLE32(std::vector<uint8_t>& out, uint32_t v);
uint32_t readLE32(const uint8_t* p);

} // namespace orvo
