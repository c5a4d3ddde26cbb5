#include "imaging/color/ColorPrimitives.h"

#include <cmath>

namespace imaging {

double toneResponse(double x, double b, double c, double g)
{
    if (g != 0) {
        const double k = 1 - g;
        const double h = k * k + 4 * g * x;
        const double root = h > 0 ? std::sqrt(h) : 0.0;
        x = (root - k - g * x) / g;
    }
    x = x * (1 + b);
    if (c < 0) {
        x = (x - 0.5) * (c + 1) + 0.5;
    } else if (c > 0) {
        if (1 - c > 0)
            x = (x - 0.5) / (1 - c) + 0.5;
        else
            return x < 0.5 ? 0.0 : 1.0;
    }
    if (x < 0)
        return 0;
    if (x > 1)
        return 1;
    return x;
}

namespace {

template <class Traits>
void buildToneTableImpl(typename Traits::value_type* table, double b, double c, double g)
{
    using T = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    if (b == 0 && c == 0 && g == 0) {
        for (int32_t i = 0; i <= full; ++i)
            table[i] = static_cast<T>(i);
        return;
    }
    for (int32_t i = 0; i <= full; ++i) {
        // toneResponse is clamped to 0..1; NaN settings give NaN, which lands on 0 here.
        const double v = toneResponse(static_cast<double>(i) / full, b, c, g) * full + 0.5;
        table[i] = static_cast<T>(v >= full ? full : (v > 0 ? static_cast<int32_t>(v) : 0));
    }
}

} // namespace

void buildToneTable8(uint8_t* table, double b, double c, double g)
{
    buildToneTableImpl<fx::Channel8>(table, b, c, g);
}

void buildToneTable16(uint16_t* table, double b, double c, double g)
{
    buildToneTableImpl<fx::Channel16>(table, b, c, g);
}

Hsv rgbToHsv(float r, float g, float b)
{
    const float v = std::fmax(r, std::fmax(g, b));
    const float mn = std::fmin(r, std::fmin(g, b));
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

RgbF hsvToRgb(float h, float s, float v)
{
    if (h == kUndefinedHue || s == 0)
        return {v, v, v};
    if (h == 360)
        h = 0;
    const float hh = h / 60;
    int sector = 0;
    if (hh > 0)  // also keeps NaN at sector 0
        sector = hh >= 5 ? 5 : static_cast<int>(std::floor(hh));
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
