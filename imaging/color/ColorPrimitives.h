#pragma once

#include "framework/ChannelTraits.h"

#include <cstdint>

// The shared colour primitives: the tone response curve and its tables, HSV conversions and the
// integer luminance indices. 8-bit channels hold 0..255, 16-bit channels hold 0..32768.
namespace imaging {

// Brightness / contrast / gamma response of a level x in 0..1; b, c and g are -1..1.
// Gamma first (g > 0 lifts midtones, 0 and 1 stay fixed), then brightness (x * (1 + b)), then
// contrast around 0.5 (c >= 1 is a threshold at 0.5), clamped to 0..1. Double precision throughout.
double toneResponse(double x, double brightness, double contrast, double gamma);

// Tone tables: entry i = trunc(toneResponse(i / max) * max + 0.5), the identity when b, c and g
// are all 0. The 8-bit table has 256 entries, the 16-bit one 32769.
void buildToneTable8(uint8_t* table, double brightness, double contrast, double gamma);
void buildToneTable16(uint16_t* table, double brightness, double contrast, double gamma);

template <class Traits>
void buildToneTable(typename Traits::value_type* table, double brightness, double contrast, double gamma)
{
    if constexpr (Traits::sixteenBit)
        buildToneTable16(table, brightness, contrast, gamma);
    else
        buildToneTable8(table, brightness, contrast, gamma);
}

// HSV in single precision: h in degrees 0..360 (-1 when undefined, i.e. s == 0), s and v in 0..1.
struct Hsv {
    float h, s, v;
};
struct RgbF {
    float r, g, b;
};

constexpr float kUndefinedHue = -1.0f;


// Luminance indices: weights summing to the full scale, so the result is a channel level that
// indexes a 256- or 32769-entry table.
constexpr int32_t luma8(int32_t r, int32_t g, int32_t b)
{
    return (76 * r + 150 * g + 29 * b) / 255;
}

constexpr int32_t luma16(int32_t r, int32_t g, int32_t b)
{
    return (9798 * r + 19235 * g + 3735 * b) >> 15;
}

template <class Traits>
constexpr int32_t luma(int32_t r, int32_t g, int32_t b)
{
    if constexpr (Traits::sixteenBit)
        return luma16(r, g, b);
    else
        return luma8(r, g, b);
}

// 1 / full scale as the single-precision constant used to normalise channel levels:
// 1/255 as 0.003921569 and 2^-15.
template <class Traits>
constexpr float kInvFullScale = Traits::sixteenBit ? 3.0517578125e-05f : 0.003921569f;

// rgbToHsv: the hue comes from the first of r, g, b that holds the maximum.
// hsvToRgb: h == -1 or s == 0 gives grey (v, v, v); h == 360 is treated as 0.
inline Hsv rgbToHsv(float r, float g, float b)
{
    const float v = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const float mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
    const float d = v - mn;
    const float s = v != 0 ? d / v : 0.0f;
    if (s == 0)
        return {kUndefinedHue, s, v};
    const float rc = (v - r) / d;
    const float gc = (v - g) / d;
    const float bc = (v - b) / d;
    float h;
    if (r == v)
        h = bc - gc;
    else if (g == v)
        h = 2 + rc - bc;
    else
        h = 4 + gc - rc;
    h = 60 * h;
    if (h < 0)
        h += 360;
    return {h, s, v};
}

inline RgbF hsvToRgb(float h, float s, float v)
{
    if (h == kUndefinedHue || s == 0)
        return {v, v, v};
    if (h == 360)
        h = 0;
    const float hh = h / 60;
    int sector = 0;
    if (hh > 0)  // also keeps NaN at sector 0
        sector = hh >= 5 ? 5 : static_cast<int>(hh);  // floor, hh being positive
    const float f = hh - static_cast<float>(sector);
    const float p = v * (1 - s);
    const float q = v * (1 - s * f);
    const float t = v * (1 - s * (1 - f));
    switch (sector) {
    case 0: return {v, t, p};
    case 1: return {q, v, p};
    case 2: return {p, v, t};
    case 3: return {p, q, v};
    case 4: return {t, p, v};
    default: return {v, p, q};
    }
}

} // namespace imaging
