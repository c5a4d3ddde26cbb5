#include "imaging/glow/Glow.h"

#include "framework/ChannelTraits.h"
#include "framework/Numeric.h"
#include "imaging/blur/SeparableBlur.h"
#include "imaging/pixel/Pixel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace imaging {

namespace {

using fx::Image;
using fx::Rect;

Rect clipTo(const Rect& r, const Image& image)
{
    return Rect{std::max(r.top, 0), std::max(r.left, 0), std::min(r.bottom, image.height),
                std::min(r.right, image.width)};
}

double unitOrZero(double v)
{
    return v > 0 ? (v < 1 ? v : 1.0) : 0.0;  // NaN -> 0
}

// x / full scale, truncating: / 255 for 8-bit, / 32768 for 16-bit.
template <class Traits>
constexpr int32_t divFull(int32_t x)
{
    return x / Traits::fullScale;
}

// Repeats c = clamp(screen(c, g)) `times` times. Screening never darkens, so the value climbs until
// it stops changing; from there on every further pass is the same, and the loop ends early.
template <class Traits>
int32_t screenRepeated(int32_t c, int32_t g, int32_t times)
{
    for (int32_t i = 0; i < times; ++i) {
        const int32_t next = fx::clampChannel<Traits>(screen<Traits>(c, g));
        if (next == c)
            break;
        c = next;
    }
    return c;
}

// A 16-bit value above full scale is not a channel level; it counts as full scale.
template <class Traits>
constexpr int32_t level(int32_t v)
{
    if constexpr (Traits::sixteenBit)
        return v < Traits::fullScale ? v : Traits::fullScale;
    else
        return v;
}

// The constants of one call, per colour channel.
struct GlowConstants {
    GlowStrength strength;
    int32_t tint[3];            // k_c = trunc(color_c × full)
    int32_t remainderTint[3];   // k'_c = trunc(remainder × color_c)
    float addFactor[3];         // brightness × color_c in single precision
};

template <class Traits>
void spread(Image& image, const Image& mask, const Rect& r, float blurX, float blurY, bool add,
            const GlowConstants& k, int32_t passes)
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    fx::ImageRef scratch = fx::makeImage(image.width, image.height, 4, Traits::bytes);
    for (int32_t y = 0; y < image.height; ++y)
        premultiplyByMask(image.rowAs<V>(y), mask.rowAs<V>(y), scratch->rowAs<V>(y), image.width);
    if (blurX > 0 || blurY > 0) {
        SeparableBlur blur;
        blur.setAmounts(blurX, blurY);
        blur.setPasses(passes);
        blur.blurRect(*scratch, Rect{0, 0, image.height, image.width});
    }
    const int32_t n = k.strength.passes;
    const int32_t rem = k.strength.remainder;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        V* p = image.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(r.left);
        const V* s = scratch->rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(r.left);
        for (int32_t x = r.left; x < r.right; ++x, p += 4, s += 4) {
            if (s[3] == 0)
                continue;
            for (int c = 0; c < 3; ++c) {
                const int32_t G = level<Traits>(s[c]);
                int32_t v = p[c];
                if (add) {
                    const float a = static_cast<float>(G) * k.addFactor[c];
                    const int32_t lift = a >= full ? full : (a > 0 ? static_cast<int32_t>(a) : 0);
                    v = std::min(full, level<Traits>(v) + lift);
                } else {
                    v = screenRepeated<Traits>(level<Traits>(v), mul<Traits>(k.tint[c], G), n);
                    if (rem > 0)
                        v = fx::clampChannel<Traits>(screen<Traits>(v, mul<Traits>(k.remainderTint[c], G)));
                }
                p[c] = static_cast<V>(v);
            }
        }
    }
}

template <class Traits>
void subtle(Image& image, const Image& mask, const Rect& r, bool add, bool tinted, const GlowConstants& k)
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    const int32_t n = k.strength.passes;
    const int32_t rem = k.strength.remainder;
    int32_t remTint[3];  // rem × k_c, as the tinted remainder weighs it
    for (int c = 0; c < 3; ++c)
        remTint[c] = mul<Traits>(rem, k.tint[c]);
    for (int32_t y = r.top; y < r.bottom; ++y) {
        V* p = image.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(r.left);
        const V* m = mask.rowAs<V>(y) + r.left;
        for (int32_t x = r.left; x < r.right; ++x, p += 4) {
            const int32_t t = level<Traits>(m[x - r.left]);
            if (t == 0)
                continue;
            for (int c = 0; c < 3; ++c) {
                const int32_t c0 = level<Traits>(p[c]);
                int32_t v;
                if (!tinted) {
                    const int32_t g = mul<Traits>(c0, t);
                    if (add) {
                        const int64_t sum = int64_t{c0} + int64_t{g} * n + divFull<Traits>(g * rem);
                        v = static_cast<int32_t>(std::min<int64_t>(full, sum));
                    } else {
                        v = screenRepeated<Traits>(c0, g, n);
                        if (rem > 0) {
                            const int32_t G = divFull<Traits>(g * rem);
                            v = fx::clampChannel<Traits>(v + G - divFull<Traits>(G * v));
                        }
                    }
                } else {
                    const int32_t g = mul<Traits>(mul<Traits>(k.tint[c], t), c0);
                    if (add) {
                        const int64_t sum = int64_t{c0} + int64_t{g} * n +
                                            mul<Traits>(mul<Traits>(remTint[c], t), c0);
                        v = static_cast<int32_t>(std::min<int64_t>(full, sum));
                    } else {
                        v = screenRepeated<Traits>(c0, g, n);
                        if (rem > 0) {
                            const int32_t w = mul<Traits>(remTint[c], t);
                            v = fx::clampChannel<Traits>(screen<Traits>(v, mul<Traits>(v, w)));
                        }
                    }
                }
                p[c] = static_cast<V>(v);
            }
        }
    }
}

template <class Traits>
void glow(Image& image, const Image& mask, const Rect& r, float blurX, float blurY, double brightness,
          bool spreadMode, bool add, const fx::ColorD& color, int32_t passes)
{
    constexpr int32_t full = Traits::fullScale;
    GlowConstants k;
    k.strength = splitBrightness(brightness, Traits::sixteenBit);
    const bool tinted = !(color.r == 1 && color.g == 1 && color.b == 1);
    const double rgb[3] = {unitOrZero(color.r), unitOrZero(color.g), unitOrZero(color.b)};
    for (int c = 0; c < 3; ++c) {
        k.tint[c] = fx::scaleToChannel(rgb[c], full);
        k.remainderTint[c] = fx::scaleToChannel(rgb[c], k.strength.remainder);
        k.addFactor[c] = static_cast<float>(brightness * rgb[c]);
    }
    if (spreadMode) {
        spread<Traits>(image, mask, r, blurX, blurY, add, k, passes);
        return;
    }
    if (blurX > 0 || blurY > 0) {
        fx::ImageRef blurred = fx::makeImage(mask.width, mask.height, 1, Traits::bytes);
        blurred->copyPixels(mask);
        SeparableBlur blur;
        blur.setAmounts(blurX, blurY);
        blur.setPasses(passes);
        blur.blurRect(*blurred, Rect{0, 0, mask.height, mask.width});
        subtle<Traits>(image, *blurred, r, add, tinted, k);
    } else {
        subtle<Traits>(image, mask, r, add, tinted, k);
    }
}

} // namespace

GlowStrength splitBrightness(double brightness, bool sixteenBit)
{
    const double b = brightness > 0 ? brightness : 0.0;  // NaN -> 0
    GlowStrength s;
    if (!sixteenBit) {
        const int32_t e = fx::truncToInt32(255 * b);
        if (e >= 256) {
            s.passes = e / 256;
            s.remainder = e % 256;
        } else {
            s.remainder = e;
        }
    } else {
        const int32_t e = fx::truncToInt32(32768 * b);
        if (e > 32768) {
            s.passes = (e - 32769) / 32769 + 1;
            s.remainder = (e - 32769) % 32769;
        } else {
            s.remainder = e;
        }
    }
    return s;
}

void applyGlow(Image& image, const Image& mask, const Rect& rect, double blurX, double blurY, double brightness,
               int32_t mode, int32_t blend, const fx::ColorD& color, int32_t passes)
{
    if (image.channels != 4 || mask.channels != 1 || image.bytesPerChannel != mask.bytesPerChannel ||
        image.width != mask.width || image.height != mask.height)
        throw std::invalid_argument("applyGlow needs a four-channel image and a one-channel mask of one size");
    if (!image.origin || !mask.origin)
        return;
    const Rect r = clipTo(rect, image);
    if (r.empty())
        return;
    const bool spreadMode = mode == static_cast<int32_t>(GlowMode::Spread);
    const bool add = blend == static_cast<int32_t>(GlowBlend::Add);
    const auto bx = static_cast<float>(blurX);
    const auto by = static_cast<float>(blurY);
    const double b = brightness > 0 ? brightness : 0.0;
    fx::withChannelTraits(image.sixteenBit(), [&](auto traits) {
        glow<decltype(traits)>(image, mask, r, bx, by, b, spreadMode, add, color, passes);
    });
}

void glowFromParameters(const fx::Effect& effect, Image& image, const Image& mask, const Rect& rect,
                        const fx::RenderInfo& info, const GlowParameters& block)
{
    const int i = block.first;
    const int32_t mode = effect.valueAsInt(i);
    const int32_t blend = effect.valueAsInt(i + 1);
    const double brightness = effect.valueAsDouble(i + 2) * 0.01;
    const double h = effect.valueAsDouble(i + 3);
    const double v = effect.valueAsBool(i + 5) ? h : effect.valueAsDouble(i + 4);
    float bx = info.unitsToPixelsX(static_cast<float>(h));
    float by = info.unitsToPixelsY(static_cast<float>(v));
    if (block.scaleByRender) {
        bx *= info.scaleX;
        by *= info.scaleY;
    }
    applyGlow(image, mask, rect, bx, by, brightness, mode, blend, effect.colorValue(i + 6), info.passes);
}

} // namespace imaging
