#pragma once

#include <cstdint>

namespace fx {

// A rectangle of pixels: top, left, bottom, right in this order; bottom and right are exclusive.
// The host's rectangles use the same order.
struct Rect {
    int32_t top = 0;
    int32_t left = 0;
    int32_t bottom = 0;
    int32_t right = 0;

    constexpr int32_t width() const { return right - left; }
    constexpr int32_t height() const { return bottom - top; }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr bool contains(int32_t x, int32_t y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// Integer pixel position (x = column, y = row).
struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend constexpr bool operator==(const Point&, const Point&) = default;
};

} // namespace fx
