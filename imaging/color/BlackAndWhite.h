#pragma once

#include "framework/Rect.h"

#include <cstdint>

namespace fx { class Image; }

namespace imaging {

// The taking filters of the black-and-white conversion, as offered by a "filter" list parameter.
enum class BlackAndWhiteFilter : int32_t { Normal = 0, Red, Green, Blue, Yellow, Orange };
inline constexpr int32_t kBlackAndWhiteFilterCount = 6;
inline constexpr const char* const kBlackAndWhiteFilterLabels[kBlackAndWhiteFilterCount] = {
    "Normal", "Red", "Green", "Blue", "Yellow", "Orange",
};

// Writes a grey value Y to R, G and B of every pixel of rect (clipped to the image), in place; A is
// kept. 8-bit channels hold 0..255, 16-bit channels 0..32768 (stored levels above are read as 32768).
//   Normal: min(max, trunc(0.30 R + 0.59 G + 0.11 B + e)), e = 0.008784313725490198 (8-bit) or
//           0.000068359375 (16-bit), double precision;
//   Red, Green, Blue: that channel;
//   Yellow: min(max, trunc(((76 R + 150 G) / 255) * 1.06)), integer division first; 16-bit
//           ((9798 R + 19235 G) >> 15) * 1.06;
//   Orange: as Yellow with G / 2 in place of G and the factor 1.6.
// A filter index outside the list converts as Normal. Four-channel images only (others are left
// unchanged).
void convertToBlackAndWhite(fx::Image& image, const fx::Rect& rect, int32_t filter);

} // namespace imaging
