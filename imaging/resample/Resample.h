#pragma once

// Two-pass filtered resampling of a source window onto a destination window of any size, with a
// separable filter chosen by name. Weights are 14-bit fixed-point fractions (16384 = 1); all pixel
// arithmetic is integer. Used by the preview to read the document at the zoom factor.

#include "framework/Image.h"
#include "framework/ImageBuffer.h"

#include <cstdint>
#include <vector>

namespace imaging {

struct ResampleFilter {
    const char* name;
    double (*kernel)(double x, const void* clientData);
    double support;          // radius of the non-zero part at scale 1
    double blur;             // 1 = normal
    bool windowed;           // carried, not used by the resampler
    bool cardinal;           // f(x) = 0 at the non-zero integers
    bool unitRange;          // carried, not used by the resampler
    const void* clientData;
};

// The filter of that exact (case-sensitive) name, or null: "point", "box", "triangle", "quadratic",
// "cubic", "catrom", "mitchell", "gaussian", "sinc", "bessel", "hanning", "hamming", "blackman",
// "kaiser".
const ResampleFilter* findFilter(const char* name);
// All fourteen filters, in table order.
const ResampleFilter* resampleFilters(int* count);

// An inclusive rectangle of pixels (x0..x1, y0..y1) in a buffer's coordinates.
struct ZoomWindow {
    int32_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    int32_t width() const { return x1 - x0 + 1; }
    int32_t height() const { return y1 - y0 + 1; }
    bool empty() const { return x1 < x0 || y1 < y0; }
};

// Source index range and weights of every destination pixel along one axis. The weights of one
// pixel sum to exactly 16384.
struct WeightTable {
    std::vector<int32_t> first;     // first source index
    std::vector<int32_t> end;       // one past the last source index
    std::vector<int32_t> offset;    // start of the pixel's weights in weights
    std::vector<int32_t> weights;
    int32_t maxSpan = 0;

    int32_t size() const { return static_cast<int32_t>(first.size()); }
    // Appends the weights of one destination pixel centred at c (in source pixels from the window's
    // first pixel) for a filter scaled by fs with scaled support S over n source pixels.
    // Throws std::logic_error for an empty source range (an internal error, not a user one).
    void add(const ResampleFilter& filter, double c, double fs, double S, int32_t n, bool trimZeros);
};

// Resamples srcWindow of src onto dstWindow of dst with xFilter horizontally and yFilter vertically.
// Both buffers must have the same format (1 or 4 channels of 1 or 2 bytes); nothing happens for an
// empty window. Throws std::invalid_argument for mismatched or unsupported formats.
void zoomRect(fx::ImageBuffer& src, ZoomWindow srcWindow, fx::ImageBuffer& dst, ZoomWindow dstWindow,
              const ResampleFilter& xFilter, const ResampleFilter& yFilter);

// Row access to an in-memory Image (1 or 4 channels, 8 or 16 bit) for the resampler.
class ImageRowAccess final : public fx::ImageBuffer {
public:
    explicit ImageRowAccess(fx::Image& image) : image_(image) {}
    int channels() const override { return image_.channels; }
    int bytesPerChannel() const override { return image_.bytesPerChannel; }
    void size(int* width, int* height) const override;
    void readRow(int y, int x, int count, uint8_t* out) override;
    void writeRow(int y, int x, int count, const uint8_t* in) override;

private:
    fx::Image& image_;
};

} // namespace imaging
