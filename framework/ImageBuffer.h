#pragma once

#include <cstdint>

namespace fx {

// Row access for the resampler: rows of 4-byte RGBA pixels (this path serves 8-bit documents).
// The host bridge implements it over the document (reading) and over a tile buffer (writing).
class ImageBuffer {
public:
    virtual ~ImageBuffer() = default;
    virtual int channels() const = 0;
    virtual int bytesPerChannel() const = 0;
    virtual void size(int* width, int* height) const = 0;
    // Reads count pixels of row y starting at column x as RGBA into rgbaOut.
    virtual void readRow(int y, int x, int count, uint8_t* rgbaOut) = 0;
    // Writes count RGBA pixels into row y starting at column x.
    virtual void writeRow(int y, int x, int count, const uint8_t* rgbaIn) = 0;
};

} // namespace fx
