#pragma once

// The 24-megapixel pictures the engine benchmarks run on.

#include "framework/Image.h"

#include <cstdint>

namespace bench {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A 4-channel image of deterministic pseudo-random levels over the whole channel range.
template <class Traits>
fx::ImageRef makeImage24MP()
{
    using V = typename Traits::value_type;
    fx::ImageRef img = fx::makeImage(kWidth, kHeight, 4, Traits::bytes);
    uint32_t s = 1;
    for (int y = 0; y < kHeight; ++y) {
        V* p = img->rowAs<V>(y);
        for (int i = 0; i < 4 * kWidth; ++i) {
            s = s * 1664525u + 1013904223u;
            p[i] = static_cast<V>((s >> 9) % (Traits::fullScale + 1));
        }
    }
    return img;
}

} // namespace bench
