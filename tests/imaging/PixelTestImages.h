#pragma once

// Small generated images for the pixel, blur and effect tests.

#include "framework/Image.h"

#include <cstdint>
#include <cstring>
#include <random>

namespace pixeltest {

inline int32_t fullScale(int bpc) { return bpc == 2 ? 32768 : 255; }

inline int32_t get(const fx::Image& image, int x, int y, int c)
{
    const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(x) * image.channels + c;
    return image.bytesPerChannel == 2 ? image.rowAs<uint16_t>(y)[i] : image.row(y)[i];
}

inline void set(fx::Image& image, int x, int y, int c, int32_t v)
{
    const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(x) * image.channels + c;
    if (image.bytesPerChannel == 2)
        image.rowAs<uint16_t>(y)[i] = static_cast<uint16_t>(v);
    else
        image.row(y)[i] = static_cast<uint8_t>(v);
}

// Uniform noise over the whole channel range (0..255 or 0..32768), reproducible from the seed.
inline fx::ImageRef noise(int w, int h, int channels, int bpc, uint32_t seed)
{
    fx::ImageRef image = fx::makeImage(w, h, channels, bpc);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int32_t> level(0, fullScale(bpc));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                set(*image, x, y, c, level(rng));
    return image;
}

// Every channel of every pixel = v.
inline fx::ImageRef constant(int w, int h, int channels, int bpc, int32_t v)
{
    fx::ImageRef image = fx::makeImage(w, h, channels, bpc);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                set(*image, x, y, c, v);
    return image;
}

inline fx::ImageRef copyOf(const fx::Image& image)
{
    fx::ImageRef copy = fx::makeImage(image.width, image.height, image.channels, image.bytesPerChannel);
    copy->copyPixels(image);
    return copy;
}

inline bool samePixels(const fx::Image& a, const fx::Image& b)
{
    if (a.width != b.width || a.height != b.height || a.bytesPerPixel != b.bytesPerPixel)
        return false;
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.width) * a.bytesPerPixel) != 0)
            return false;
    return true;
}

} // namespace pixeltest
