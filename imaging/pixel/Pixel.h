#pragma once

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/Rect.h"

#include <cstdint>

// Integer pixel arithmetic shared by every engine and effect, and the whole-image row helpers.
// 8-bit channels hold 0..255, 16-bit channels hold 0..32768 (0x8000 is full scale). Four-channel
// pixels are R, G, B, A; colour helpers touch R, G and B and keep A unless stated otherwise.
// Rects are in the image's own pixel coordinates ({0, 0, height, width} is the whole image) and are
// clipped to the image.
namespace imaging {

// ---- Products -------------------------------------------------------------------------------

// a * b / 255, truncating signed 32-bit division.
constexpr int32_t mul8(int32_t a, int32_t b) { return a * b / 255; }
// (a * b) >> 15.
constexpr int32_t mul16(int32_t a, int32_t b) { return (a * b) >> 15; }
constexpr int32_t screen8(int32_t a, int32_t b) { return a + b - mul8(a, b); }
constexpr int32_t screen16(int32_t a, int32_t b) { return a + b - a * b / 32768; }

template <class Traits>
constexpr int32_t mul(int32_t a, int32_t b)
{
    if constexpr (Traits::sixteenBit)
        return mul16(a, b);
    else
        return mul8(a, b);
}

template <class Traits>
constexpr int32_t screen(int32_t a, int32_t b)
{
    if constexpr (Traits::sixteenBit)
        return screen16(a, b);
    else
        return screen8(a, b);
}

// trunc(v * 128.5 + 0.5): 0 -> 0, 128 -> 16448, 255 -> 32768.
constexpr int32_t widen8to16(int32_t v) { return static_cast<int32_t>(v * 128.5 + 0.5); }

// trunc(v) limited to the channel range; NaN and negative values give 0.
template <class Traits>
inline typename Traits::value_type truncToChannel(double v)
{
    if (!(v > 0))
        return 0;
    if (v >= Traits::fullScale)
        return static_cast<typename Traits::value_type>(Traits::fullScale);
    return static_cast<typename Traits::value_type>(v);
}

// ---- Blend modes ----------------------------------------------------------------------------

// The combine modes offered as a list parameter; the list stores the index.
enum class BlendMode : int32_t {
    TextureOnly = 0,
    Add,
    Subtract,
    Multiply,
    Screen,
    Difference,
    Darken,
    Lighten,
};
inline constexpr int32_t kBlendModeCount = 8;
inline constexpr const char* const kBlendModeLabels[kBlendModeCount] = {
    "Texture Only", "Add", "Subtract", "Multiply", "Screen", "Difference", "Darken", "Lighten",
};

// f(a, b) of one mode; "Texture Only" and unknown indices return b.
template <class Traits>
constexpr int32_t blend(int32_t mode, int32_t a, int32_t b)
{
    constexpr int32_t full = Traits::fullScale;
    switch (static_cast<BlendMode>(mode)) {
    case BlendMode::Add:
        return a + b <= full ? a + b : full;
    case BlendMode::Subtract:
        return a > b ? a - b : 0;
    case BlendMode::Multiply:
        return mul<Traits>(a, b);
    case BlendMode::Screen:
        return screen<Traits>(a, b);
    case BlendMode::Difference:
        // a + b - 2ab / full, the product divided as one (64-bit so that 32768 * 32768 * 2 fits).
        return a + b - static_cast<int32_t>(2 * static_cast<int64_t>(a) * b / full);
    case BlendMode::Darken:
        return a < b ? a : b;
    case BlendMode::Lighten:
        return a > b ? a : b;
    case BlendMode::TextureOnly:
    default:
        return b;
    }
}

// Every pixel of `second` becomes f(a, b) with a from `first`, b from `second`. Both one-channel
// images of one size and channel width (std::invalid_argument otherwise). Mode 0 ("Texture Only")
// and indices outside the list leave `second` unchanged.
void combineImages(int32_t mode, const fx::Image& first, fx::Image& second);

// ---- Whole-image helpers --------------------------------------------------------------------

// Copies the rect's rows from src to dst (same layout). Nothing happens when both are the same
// image. A whole-image rect copies in one block when both strides are equal.
void copyRect(fx::Image& dst, const fx::Image& src, const fx::Rect& rect);

// Copies from src to dst the part of `outer` that lies outside `inner`: the rows above and below
// inner, and left and right of it on inner's rows. Inner itself is not touched.
void copyOutside(fx::Image& dst, const fx::Image& src, const fx::Rect& inner, const fx::Rect& outer);

// Fills the whole image with one pixel (one-channel images take the first component). An all-zero
// pixel clears the whole block with one memory fill. The overload must match the channel width
// (std::invalid_argument otherwise).
void fillImage(fx::Image& image, fx::Color8 value);
void fillImage(fx::Image& image, fx::Color16 value);

// R = G = B = the grey value, A = full scale, over rect. grey is one-channel, rgba four-channel, both
// of one channel width; the rect is clipped to both.
void expandGrey(const fx::Image& grey, fx::Image& rgba, const fx::Rect& rect);

// v -> full - v on a one-channel image.
void invertMatte(fx::Image& matte, const fx::Rect& rect);

// Four-channel pixels weighted by a one-channel mask: m = 0 gives (0, 0, 0, 0); m = full keeps the
// colour; otherwise colour = mul(c, m); the alpha becomes m whenever m != 0. out may equal row.
void premultiplyByMask(const uint8_t* row, const uint8_t* maskRow, uint8_t* out, int32_t count);
void premultiplyByMask(const uint16_t* row, const uint16_t* maskRow, uint16_t* out, int32_t count);

// Lookup tables of 256 (8-bit) or 32769 (16-bit) entries. One-channel images: v -> table[v];
// four-channel images: R, G and B through one shared table or three tables, A unchanged. 16-bit
// values above 32768 (not valid channel values) are looked up as 32768.
void applyLut(fx::Image& image, const fx::Rect& rect, const uint8_t* table);
void applyLut(fx::Image& image, const fx::Rect& rect, const uint8_t* red, const uint8_t* green,
              const uint8_t* blue);
void applyLut(fx::Image& image, const fx::Rect& rect, const uint16_t* table);
void applyLut(fx::Image& image, const fx::Rect& rect, const uint16_t* red, const uint16_t* green,
              const uint16_t* blue);

// In place on a full table: multiply -> t[i] = clamp(trunc(factor * t[i])); otherwise, when
// factor != 0, t[i] = clamp(trunc(factor * i + t[i])).
void gainLut(uint8_t* table, double factor, bool multiply);
void gainLut(uint16_t* table, double factor, bool multiply);

// Four-channel, nothing when x = 0: B = clamp(trunc((1 + x) * B)), R = clamp(trunc((1 - x) * R)),
// G and A unchanged. The factors and the products are single precision.
void warmCoolShift(fx::Image& image, const fx::Rect& rect, double x);

// Four-channel, per pixel through HSV (single precision, channels scaled to 0..1): pixels whose hue
// is undefined (greys) are left unchanged; hue += hueDegrees when non-zero, wrapped once into
// 0..360; s = min(1, max(0, (saturation + 1) * s)) when saturation != 0; back to channels by
// truncation. A is unchanged.
void hueSaturationShift(fx::Image& image, const fx::Rect& rect, float hueDegrees, float saturation);

// Four-channel tone adjustment: hue/saturation first (when either is non-zero), then the tone table
// of brightness, contrast and gamma (-1..1). With all gains 0 and additive gains the one table goes
// to R, G and B; otherwise three copies pass through gainLut with red, green and blue (multiplying
// or adding as multiplyGains says) and serve as the R, G and B tables. A is unchanged.
void toneAdjust(fx::Image& image, const fx::Rect& rect, float hueDegrees, float saturation, double brightness,
                double contrast, double gamma, double red, double green, double blue, bool multiplyGains);

} // namespace imaging
