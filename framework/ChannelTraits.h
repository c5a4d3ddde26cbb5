#pragma once

#include <cstdint>
#include <utility>

namespace fx {

// The two channel encodings every pixel engine is written once for:
//   8-bit channels hold 0..255, lookup tables have 256 entries;
//   16-bit channels hold 0..32768 (0x8000 is full scale, never 65535), tables have 32769 entries.
// Engines are templates over one of these traits; they specialise only where the arithmetic differs.
struct Channel8 {
    using value_type = uint8_t;
    static constexpr int bytes = 1;
    static constexpr int32_t fullScale = 255;
    static constexpr int32_t tableSize = 256;
    static constexpr bool sixteenBit = false;
};

struct Channel16 {
    using value_type = uint16_t;
    static constexpr int bytes = 2;
    static constexpr int32_t fullScale = 32768;
    static constexpr int32_t tableSize = 32769;
    static constexpr bool sixteenBit = true;
};

template <class Traits>
constexpr typename Traits::value_type clampChannel(int32_t v)
{
    return static_cast<typename Traits::value_type>(v < 0 ? 0 : (v > Traits::fullScale ? Traits::fullScale : v));
}

// The one dispatch point from a run-time channel width to the template instance:
//   withChannelTraits(info->sixteenBit, [&](auto traits) { render<decltype(traits)>(...); });
template <class F>
decltype(auto) withChannelTraits(bool sixteenBit, F&& f)
{
    if (sixteenBit)
        return std::forward<F>(f)(Channel16{});
    return std::forward<F>(f)(Channel8{});
}

} // namespace fx
