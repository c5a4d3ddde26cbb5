#pragma once

#include "framework/Image.h"
#include "framework/Rect.h"

#include <cstdint>

namespace imaging {

// Iterated box blur with a fractional radius, separable into a pass along rows and a pass along
// columns, in place on one- or four-channel images of 8 or 16 bits per channel.
//
// An amount is the box diameter in pixels; with x = amount / 2 the window around pixel i holds full
// taps i-r+1 .. i+r-1 and two outer taps i-r and i+r weighted by the fractional part of x. A whole x
// gives r = x + 1 with empty outer taps, so an amount of 2 averages three pixels. At both ends of a
// line the missing taps are dropped and the sum is divided by the weight actually present. The cost
// per pixel does not depend on the radius (running sums; interior divisions are reciprocal
// multiplies).
class SeparableBlur {
public:
    SeparableBlur() = default;
    // Copies the settings; the copy starts without a scratch line of its own.
    SeparableBlur(const SeparableBlur& other);
    SeparableBlur& operator=(const SeparableBlur& other);
    ~SeparableBlur();

    // Box diameters in pixels along rows and along columns. A direction whose half amount is not
    // greater than 0 (or is NaN) is skipped.
    void setAmounts(float horizontal, float vertical);
    // Number of passes minus one; effects hand over the RenderInfo pass count. Negative counts as 0.
    void setPasses(int32_t extra);

    float horizontalAmount() const { return horizontal_; }
    float verticalAmount() const { return vertical_; }
    int32_t extraPasses() const { return extraPasses_; }
    // Bytes held for the scratch line: grown to max(width, height) * bytes per pixel of the largest
    // image blurred so far, never shrunk.
    int32_t scratchCapacity() const { return capacity_; }

    // Blurs image inside rect (clipped to the image): every row of the rect, then every column. Only
    // rect pixels are read and written, so the rect edge behaves like the image edge. Lines shorter
    // than four pixels along the blurred direction stay unchanged. Throws std::invalid_argument for
    // images of 2 or 3 channels and the framework's allocation failure when no scratch line is had.
    void blurRect(fx::Image& image, const fx::Rect& rect);

private:
    void reserve(int64_t bytes);

    float horizontal_ = 0.0f;
    float vertical_ = 0.0f;
    int32_t extraPasses_ = 0;
    uint8_t* scratch_ = nullptr;
    int32_t capacity_ = 0;
};

// The window of one direction for a line of `length` pixels and a half amount x > 0, as the blur
// computes it; exposed for tests and for callers that need the blur's reach. radius 0 means the line
// is too short and stays unchanged.
struct BoxWindow {
    int32_t radius = 0;
    float fraction = 0.0f;  // fractional part of x (0 for a whole x), single precision
};
BoxWindow boxWindow(float halfAmount, int32_t length);

// The border a tiled caller adds around its rect so that bands join without seams: how far the line
// ends influence a line, given `amount` pixels and `extraPasses`, on lines long enough not to limit
// the radius. The window's radius r per pass, plus one because the pixel at distance r from a line
// end is divided exactly while the interior goes through the reciprocal: passes * r + 1, and never
// less than ceil(amount). 0 for amounts <= 0 (or NaN); saturates at 2^28.
int32_t blurBorder(float amount, int32_t extraPasses);

} // namespace imaging
