#pragma once

#include "framework/ChannelTraits.h"

#include <cstdint>

namespace imaging {

// The overlay combine of a base level with a blend level (integer divisions, truncating):
//   8-bit:  base < 128     -> 2 * base * blend / 255
//           otherwise      -> 255 - (511 - 2 * base) * (255 - blend) / 255
//   16-bit: base <= 0x3FFF -> 2 * base * blend / 32768
//           otherwise      -> 32768 - 2 * (32768 - base) * (32768 - blend) / 32768
// Both levels are valid channel values (0..max); the result is one too.
template <class Traits>
constexpr int32_t overlay(int32_t base, int32_t blend)
{
    if constexpr (Traits::sixteenBit) {
        if (base <= 0x3FFF)
            return 2 * base * blend / 32768;
        return 32768 - 2 * (32768 - base) * (32768 - blend) / 32768;
    } else {
        if (base < 128)
            return 2 * base * blend / 255;
        return 255 - (511 - 2 * base) * (255 - blend) / 255;
    }
}

} // namespace imaging
