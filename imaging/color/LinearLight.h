#pragma once

#include <cstdint>

namespace fx { class Image; }

namespace imaging {

// Conversion between stored (sRGB-encoded) levels and 16-bit linear light (0..32768), through four
// tables built once per process on first use and kept for its lifetime.
struct LinearLightTables {
    const uint16_t* decode8;   // 256 entries: 8-bit level -> linear
    const uint16_t* decode16;  // 32769 entries: 16-bit level -> linear
    const uint8_t* encode8;    // 32769 entries: linear -> 8-bit level
    const uint16_t* encode16;  // 32769 entries: linear -> 16-bit level
};
const LinearLightTables& linearLightTables();

// Whole-image conversions, every channel of every pixel (alpha included) through the tables.
// toLinear reads an 8- or 16-bit image and writes a 16-bit one; fromLinear reads a 16-bit linear
// image and writes an 8- or 16-bit one. Both images have the same size and channel count; 16-bit
// levels above 32768 are read as 32768. Throws std::invalid_argument on mismatched layouts.
void toLinear(const fx::Image& src, fx::Image& dst);
void fromLinear(const fx::Image& src, fx::Image& dst);

} // namespace imaging
