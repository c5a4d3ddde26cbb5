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

} // namespace imaging
