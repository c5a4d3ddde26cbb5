#include "imaging/pixel/Pixel.h"

#include "framework/Numeric.h"
#include "imaging/color/ColorPrimitives.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace imaging {

namespace {

using fx::Channel16;
using fx::Channel8;
using fx::Image;
using fx::Rect;

bool hasPixels(const Image& image)
{
    return image.origin && image.width > 0 && image.height > 0;
}

Rect clipTo(const Rect& r, const Image& image)
{
    Rect c{std::max(r.top, 0), std::max(r.left, 0), std::min(r.bottom, image.height), std::min(r.right, image.width)};
    return c;
}

template <class Traits>
void checkWidth(const Image& image, const char* what)
{
    if (image.bytesPerChannel != Traits::bytes)
        throw std::invalid_argument(what);
}

template <class Traits>
void combine(int32_t mode, const Image& first, Image& second)
{
    using V = typename Traits::value_type;
    for (int32_t y = 0; y < second.height; ++y) {
        const V* a = first.rowAs<V>(y);
        V* b = second.rowAs<V>(y);
        for (int32_t x = 0; x < second.width; ++x)
            b[x] = static_cast<V>(blend<Traits>(mode, a[x], b[x]));
    }
}

// Copies `columns` pixels starting at column x of rows top..bottom-1.
void copyBlock(Image& dst, const Image& src, int32_t top, int32_t bottom, int32_t x, int32_t columns)
{
    if (top >= bottom || columns <= 0)
        return;
    const std::size_t offset = static_cast<std::size_t>(x) * src.bytesPerPixel;
    const std::size_t bytes = static_cast<std::size_t>(columns) * src.bytesPerPixel;
    for (int32_t y = top; y < bottom; ++y)
        std::memcpy(dst.row(y) + offset, src.row(y) + offset, bytes);
}

bool sameLayout(const Image& a, const Image& b)
{
    return a.channels == b.channels && a.bytesPerChannel == b.bytesPerChannel;
}

template <class Traits>
void fill(Image& image, const typename Traits::value_type (&pixel)[4])
{
    using V = typename Traits::value_type;
    if (!hasPixels(image))
        return;
    const int32_t n = image.channels;
    bool zero = true;
    for (int32_t k = 0; k < n; ++k)
        zero = zero && pixel[k] == 0;
    if (zero) {
        std::memset(image.data, 0, static_cast<std::size_t>(image.rowBytes) * static_cast<std::size_t>(image.height));
        return;
    }
    V* first = image.rowAs<V>(0);
    for (int32_t x = 0; x < image.width; ++x)
        for (int32_t k = 0; k < n; ++k)
            first[x * n + k] = pixel[k];
    const std::size_t bytes = static_cast<std::size_t>(image.width) * image.bytesPerPixel;
    for (int32_t y = 1; y < image.height; ++y)
        std::memcpy(image.row(y), first, bytes);
}

template <class Traits>
void expand(const Image& grey, Image& rgba, const Rect& r)
{
    using V = typename Traits::value_type;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        const V* g = grey.rowAs<V>(y);
        V* p = rgba.rowAs<V>(y);
        for (int32_t x = r.left; x < r.right; ++x) {
            p[4 * x] = p[4 * x + 1] = p[4 * x + 2] = g[x];
            p[4 * x + 3] = static_cast<V>(Traits::fullScale);
        }
    }
}

template <class Traits>
void invert(Image& matte, const Rect& r)
{
    using V = typename Traits::value_type;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        V* p = matte.rowAs<V>(y);
        for (int32_t x = r.left; x < r.right; ++x)
            p[x] = static_cast<V>(Traits::fullScale - p[x]);
    }
}

template <class Traits>
void premultiply(const typename Traits::value_type* row, const typename Traits::value_type* mask,
                 typename Traits::value_type* out, int32_t count)
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    for (int32_t i = 0; i < count; ++i, row += 4, out += 4) {
        const int32_t m = mask[i];
        if (m == 0) {
            out[0] = out[1] = out[2] = out[3] = 0;
            continue;
        }
        if (m == full) {
            out[0] = row[0];
            out[1] = row[1];
            out[2] = row[2];
        } else {
            // The 16-bit form divides the signed product by 32768 (the same as >> 15 for valid values).
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<V>(Traits::sixteenBit ? m * row[k] / 32768 : mul8(row[k], m));
        }
        out[3] = static_cast<V>(m);
    }
}

template <class Traits>
inline int32_t tableIndex(int32_t v)
{
    if constexpr (Traits::sixteenBit)
        return v > Traits::fullScale ? Traits::fullScale : v;
    else
        return v;
}

template <class Traits>
void lut(Image& image, const Rect& rect, const typename Traits::value_type* red,
         const typename Traits::value_type* green, const typename Traits::value_type* blue)
{
    using V = typename Traits::value_type;
    if (!hasPixels(image) || !red || !green || !blue)
        return;
    checkWidth<Traits>(image, "applyLut: table width does not match the image");
    const Rect r = clipTo(rect, image);
    if (image.channels == 1) {
        for (int32_t y = r.top; y < r.bottom; ++y) {
            V* p = image.rowAs<V>(y);
            for (int32_t x = r.left; x < r.right; ++x)
                p[x] = red[tableIndex<Traits>(p[x])];
        }
        return;
    }
    if (image.channels != 4)
        throw std::invalid_argument("applyLut needs a one- or four-channel image");
    for (int32_t y = r.top; y < r.bottom; ++y) {
        V* p = image.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(r.left);
        for (int32_t x = r.left; x < r.right; ++x, p += 4) {
            p[0] = red[tableIndex<Traits>(p[0])];
            p[1] = green[tableIndex<Traits>(p[1])];
            p[2] = blue[tableIndex<Traits>(p[2])];
        }
    }
}

template <class Traits>
void gain(typename Traits::value_type* table, double factor, bool multiply)
{
    if (!table)
        return;
    if (multiply) {
        for (int32_t i = 0; i < Traits::tableSize; ++i)
            table[i] = truncToChannel<Traits>(static_cast<double>(fx::truncToInt32(factor * table[i])));
    } else if (factor != 0) {
        for (int32_t i = 0; i < Traits::tableSize; ++i)
            table[i] = truncToChannel<Traits>(static_cast<double>(fx::truncToInt32(factor * i + table[i])));
    }
}

template <class Traits>
void warmCool(Image& image, const Rect& r, float blueFactor, float redFactor)
{
    using V = typename Traits::value_type;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        V* p = image.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(r.left);
        for (int32_t x = r.left; x < r.right; ++x, p += 4) {
            p[2] = truncToChannel<Traits>(blueFactor * static_cast<float>(p[2]));
            p[0] = truncToChannel<Traits>(redFactor * static_cast<float>(p[0]));
        }
    }
}

template <class Traits>
void hueSaturation(Image& image, const Rect& r, float hueDegrees, float saturation)
{
    using V = typename Traits::value_type;
    constexpr float toUnit = kInvFullScale<Traits>;
    constexpr float toChannel = static_cast<float>(Traits::fullScale);
    for (int32_t y = r.top; y < r.bottom; ++y) {
        V* p = image.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(r.left);
        for (int32_t x = r.left; x < r.right; ++x, p += 4) {
            Hsv hsv = rgbToHsv(p[0] * toUnit, p[1] * toUnit, p[2] * toUnit);
            if (hsv.h == kUndefinedHue)
                continue;
            if (hueDegrees != 0) {
                hsv.h += hueDegrees;
                if (hsv.h < 0)
                    hsv.h += 360;
                else if (hsv.h > 360)
                    hsv.h -= 360;
            }
            if (saturation != 0)
                hsv.s = std::min(1.0f, std::max(0.0f, (saturation + 1) * hsv.s));
            const RgbF rgb = hsvToRgb(hsv.h, hsv.s, hsv.v);
            p[0] = truncToChannel<Traits>(rgb.r * toChannel);
            p[1] = truncToChannel<Traits>(rgb.g * toChannel);
            p[2] = truncToChannel<Traits>(rgb.b * toChannel);
        }
    }
}

template <class Traits>
void tone(Image& image, const Rect& r, double brightness, double contrast, double gamma, double red,
          double green, double blue, bool multiplyGains)
{
    using V = typename Traits::value_type;
    constexpr std::size_t n = Traits::tableSize;
    std::vector<V> tables(multiplyGains || red != 0 || green != 0 || blue != 0 ? 3 * n : n);
    buildToneTable<Traits>(tables.data(), brightness, contrast, gamma);
    if (tables.size() == n) {
        lut<Traits>(image, r, tables.data(), tables.data(), tables.data());
        return;
    }
    std::copy(tables.begin(), tables.begin() + n, tables.begin() + n);
    std::copy(tables.begin(), tables.begin() + n, tables.begin() + 2 * n);
    gain<Traits>(tables.data(), red, multiplyGains);
    gain<Traits>(tables.data() + n, green, multiplyGains);
    gain<Traits>(tables.data() + 2 * n, blue, multiplyGains);
    lut<Traits>(image, r, tables.data(), tables.data() + n, tables.data() + 2 * n);
}

} // namespace

void combineImages(int32_t mode, const Image& first, Image& second)
{
    if (first.channels != 1 || second.channels != 1 || first.width != second.width ||
        first.height != second.height || first.bytesPerChannel != second.bytesPerChannel)
        throw std::invalid_argument("combineImages needs two one-channel images of one size and width");
    if (mode <= 0 || mode >= kBlendModeCount || !hasPixels(first) || !hasPixels(second))
        return;
    fx::withChannelTraits(second.sixteenBit(), [&](auto traits) { combine<decltype(traits)>(mode, first, second); });
}

void copyRect(Image& dst, const Image& src, const Rect& rect)
{
    if (&dst == &src || !hasPixels(dst) || !hasPixels(src))
        return;
    if (!sameLayout(dst, src))
        throw std::invalid_argument("copyRect needs images of one layout");
    if (dst.width == src.width && dst.height == src.height && rect.top <= 0 && rect.left <= 0 &&
        rect.bottom >= dst.height && rect.right >= dst.width) {
        dst.copyPixels(src);
        return;
    }
    Rect r = clipTo(clipTo(rect, dst), src);
    if (r.empty())
        return;
    copyBlock(dst, src, r.top, r.bottom, r.left, r.width());
}

void copyOutside(Image& dst, const Image& src, const Rect& inner, const Rect& outer)
{
    if (&dst == &src || !hasPixels(dst) || !hasPixels(src))
        return;
    if (!sameLayout(dst, src))
        throw std::invalid_argument("copyOutside needs images of one layout");
    const Rect o = clipTo(clipTo(outer, dst), src);
    if (o.empty())
        return;
    // The inner rect limited to the outer one; an inner rect outside it leaves the whole outer rect.
    const Rect i{std::clamp(inner.top, o.top, o.bottom), std::clamp(inner.left, o.left, o.right),
                 std::clamp(inner.bottom, o.top, o.bottom), std::clamp(inner.right, o.left, o.right)};
    if (i.empty()) {
        copyBlock(dst, src, o.top, o.bottom, o.left, o.width());
        return;
    }
    copyBlock(dst, src, o.top, i.top, o.left, o.width());
    copyBlock(dst, src, i.bottom, o.bottom, o.left, o.width());
    copyBlock(dst, src, i.top, i.bottom, o.left, i.left - o.left);
    copyBlock(dst, src, i.top, i.bottom, i.right, o.right - i.right);
}

void fillImage(Image& image, fx::Color8 value)
{
    checkWidth<Channel8>(image, "fillImage: an 8-bit value for a 16-bit image");
    const uint8_t pixel[4] = {value.r, value.g, value.b, value.a};
    fill<Channel8>(image, pixel);
}

void fillImage(Image& image, fx::Color16 value)
{
    checkWidth<Channel16>(image, "fillImage: a 16-bit value for an 8-bit image");
    const uint16_t pixel[4] = {value.r, value.g, value.b, value.a};
    fill<Channel16>(image, pixel);
}

void expandGrey(const Image& grey, Image& rgba, const Rect& rect)
{
    if (!hasPixels(grey) || !hasPixels(rgba))
        return;
    if (grey.channels != 1 || rgba.channels != 4 || grey.bytesPerChannel != rgba.bytesPerChannel)
        throw std::invalid_argument("expandGrey needs a one-channel and a four-channel image of one width");
    const Rect r = clipTo(clipTo(rect, rgba), grey);
    fx::withChannelTraits(rgba.sixteenBit(), [&](auto traits) { expand<decltype(traits)>(grey, rgba, r); });
}

void invertMatte(Image& matte, const Rect& rect)
{
    if (!hasPixels(matte))
        return;
    if (matte.channels != 1)
        throw std::invalid_argument("invertMatte needs a one-channel image");
    const Rect r = clipTo(rect, matte);
    fx::withChannelTraits(matte.sixteenBit(), [&](auto traits) { invert<decltype(traits)>(matte, r); });
}

void premultiplyByMask(const uint8_t* row, const uint8_t* maskRow, uint8_t* out, int32_t count)
{
    premultiply<Channel8>(row, maskRow, out, count);
}

void premultiplyByMask(const uint16_t* row, const uint16_t* maskRow, uint16_t* out, int32_t count)
{
    premultiply<Channel16>(row, maskRow, out, count);
}

void applyLut(Image& image, const Rect& rect, const uint8_t* table)
{
    lut<Channel8>(image, rect, table, table, table);
}

void applyLut(Image& image, const Rect& rect, const uint8_t* red, const uint8_t* green, const uint8_t* blue)
{
    lut<Channel8>(image, rect, red, green, blue);
}

void applyLut(Image& image, const Rect& rect, const uint16_t* table)
{
    lut<Channel16>(image, rect, table, table, table);
}

void applyLut(Image& image, const Rect& rect, const uint16_t* red, const uint16_t* green, const uint16_t* blue)
{
    lut<Channel16>(image, rect, red, green, blue);
}

void gainLut(uint8_t* table, double factor, bool multiply)
{
    gain<Channel8>(table, factor, multiply);
}

void gainLut(uint16_t* table, double factor, bool multiply)
{
    gain<Channel16>(table, factor, multiply);
}

void warmCoolShift(Image& image, const Rect& rect, double x)
{
    if (x == 0 || !hasPixels(image))
        return;
    if (image.channels != 4)
        throw std::invalid_argument("warmCoolShift needs a four-channel image");
    const float blueFactor = static_cast<float>(1 + x);
    const float redFactor = static_cast<float>(1 - x);
    const Rect r = clipTo(rect, image);
    fx::withChannelTraits(image.sixteenBit(), [&](auto traits) {
        warmCool<decltype(traits)>(image, r, blueFactor, redFactor);
    });
}

void hueSaturationShift(Image& image, const Rect& rect, float hueDegrees, float saturation)
{
    if ((hueDegrees == 0 && saturation == 0) || !hasPixels(image))
        return;
    if (image.channels != 4)
        throw std::invalid_argument("hueSaturationShift needs a four-channel image");
    const Rect r = clipTo(rect, image);
    fx::withChannelTraits(image.sixteenBit(), [&](auto traits) {
        hueSaturation<decltype(traits)>(image, r, hueDegrees, saturation);
    });
}

void toneAdjust(Image& image, const Rect& rect, float hueDegrees, float saturation, double brightness,
                double contrast, double gamma, double red, double green, double blue, bool multiplyGains)
{
    if (!hasPixels(image))
        return;
    if (image.channels != 4)
        throw std::invalid_argument("toneAdjust needs a four-channel image");
    hueSaturationShift(image, rect, hueDegrees, saturation);
    const Rect r = clipTo(rect, image);
    fx::withChannelTraits(image.sixteenBit(), [&](auto traits) {
        tone<decltype(traits)>(image, r, brightness, contrast, gamma, red, green, blue, multiplyGains);
    });
}

} // namespace imaging
