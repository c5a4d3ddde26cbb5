#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvo {

// A host document: RGB, 8-bit (0..255) or 16-bit (0..32768) samples, interleaved R, G, B.
// The filter record addresses pixels with 16-bit coordinates, so each side is 1..32767.
struct DocRect {
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    constexpr int32_t width() const { return right - left; }
    constexpr int32_t height() const { return bottom - top; }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr bool inside(const DocRect& outer) const
    {
        return top >= outer.top && left >= outer.left && bottom <= outer.bottom && right <= outer.right;
    }
    friend constexpr bool operator==(const DocRect&, const DocRect&) = default;
};

class Document {
public:
    static constexpr int32_t kMaxSide = 32767;
    static constexpr int kChannels = 3;

    // Throws std::invalid_argument for a side outside 1..32767 or a depth other than 8 or 16.
    Document(int32_t width, int32_t height, int depth);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int depth() const { return depth_; }
    uint16_t maxValue() const { return depth_ == 16 ? 32768 : 255; }
    DocRect bounds() const { return {0, 0, height_, width_}; }

    // The area filters change; the whole image unless set. Throws std::invalid_argument when the
    // rectangle is empty or leaves the image.
    const DocRect& filterRect() const { return filterRect_; }
    void setFilterRect(const DocRect& r);

    uint16_t at(int32_t x, int32_t y, int c) const { return samples_[index(x, y, c)]; }
    uint16_t& at(int32_t x, int32_t y, int c) { return samples_[index(x, y, c)]; }
    const std::vector<uint16_t>& samples() const { return samples_; }
    std::vector<uint16_t>& samples() { return samples_; }

    // Position of sample c of pixel (x, y) in samples().
    size_t index(int32_t x, int32_t y, int c) const
    {
        return (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * kChannels +
               static_cast<size_t>(c);
    }

    friend bool operator==(const Document&, const Document&) = default;

private:
    int32_t width_, height_;
    int depth_;
    DocRect filterRect_;
    std::vector<uint16_t> samples_;
};

} // namespace orvo
