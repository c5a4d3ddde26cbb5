#include "app/cli/Chart.h"

#include <algorithm>
#include <cmath>

namespace orvo::cli {

namespace {

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

// The chart in normalised coordinates u, v (0..1) and pixel coordinates.
Rgb chartAt(double u, double v, int32_t x, int32_t y, int32_t width, int32_t height)
{
    const double aspect = static_cast<double>(width) / height;
    if (v < 0.5) {
        // Sky: deep blue at the top to pale haze at the horizon, a soft sun and sparse highlights.
        const double t = v / 0.5;
        Rgb c = mix({0.10, 0.22, 0.55}, {0.80, 0.86, 0.92}, t * t);
        const double du = (u - 0.78) * aspect, dv = v - 0.18;
        const double d = std::sqrt(du * du + dv * dv);
        const double sun = std::exp(-d * d / 0.004) + 0.25 * std::exp(-d * d / 0.03);
        c = {std::min(1.0, c.r + sun), std::min(1.0, c.g + 0.95 * sun), std::min(1.0, c.b + 0.8 * sun)};
        // Highlights: a few small bright points on a fixed grid.
        const int32_t cell = std::max<int32_t>(8, height / 16);
        const int32_t cx = x / cell, cy = y / cell;
        const uint32_t hash = static_cast<uint32_t>(cx * 73856093) ^ static_cast<uint32_t>(cy * 19349663);
        if (hash % 7 == 0) {
            const int32_t px = cx * cell + static_cast<int32_t>(hash % static_cast<uint32_t>(cell));
            const int32_t py = cy * cell + static_cast<int32_t>((hash / 7) % static_cast<uint32_t>(cell));
            if (std::abs(x - px) <= 1 && std::abs(y - py) <= 1)
                c = {1, 1, 1};
        }
        return c;
    }
    if (v < 0.6) {
        // Grey ramp, 0 to full scale.
        return {u, u, u};
    }
    if (v < 0.8) {
        // Patches: six saturated colors above six skin-like tones.
        static const Rgb top[6] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 0}};
        static const Rgb bottom[6] = {{0.98, 0.84, 0.75}, {0.93, 0.74, 0.62}, {0.82, 0.60, 0.47},
                                      {0.67, 0.46, 0.34}, {0.48, 0.31, 0.22}, {0.30, 0.19, 0.13}};
        const int i = std::min(5, static_cast<int>(u * 6));
        return v < 0.7 ? top[i] : bottom[i];
    }
    // Fine detail: a zone plate on the left, line pairs of 1..4 pixels on the right.
    if (u < 0.5) {
        const double px = (u - 0.25) * aspect * 2, py = (v - 0.9) * 10 * 0.2;
        const double r2 = px * px + py * py;
        const double z = 0.5 + 0.5 * std::cos(r2 * width * 0.5);
        return {z, z, z};
    }
    const int period = 1 + static_cast<int>((u - 0.5) * 8);
    const double line = ((x / period) % 2) ? 0.9 : 0.1;
    return {line, line * 0.95, line * 0.9};
}

} // namespace

Document makeChart(int32_t width, int32_t height, int depth)
{
    Document d(width, height, depth);
    const double full = d.maxValue();
    for (int32_t y = 0; y < height; ++y) {
        const double v = (y + 0.5) / height;
        for (int32_t x = 0; x < width; ++x) {
            const Rgb c = chartAt((x + 0.5) / width, v, x, y, width, height);
            d.at(x, y, 0) = static_cast<uint16_t>(std::clamp(c.r, 0.0, 1.0) * full + 0.5);
            d.at(x, y, 1) = static_cast<uint16_t>(std::clamp(c.g, 0.0, 1.0) * full + 0.5);
            d.at(x, y, 2) = static_cast<uint16_t>(std::clamp(c.b, 0.0, 1.0) * full + 0.5);
        }
    }
    return d;
}

} // namespace orvo::cli
