#pragma once

// Pixel transport between the host document and the framework's pixel buffers. Two transports:
//   suites        the Buffer suite for memory, the ChannelPorts suite for pixels (8- and 16-bit);
//   advance state the buffer procedures for memory, advanceState with inData/outData for pixels
//                 (interleaved 8-bit RGB only).
// One is chosen when the HostImage is created: the suites whenever the host hands out the Buffer
// suite.

#include "framework/Image.h"
#include "framework/ImageBuffer.h"
#include "framework/Rect.h"
#include "platform/Suites.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orvo::host {

class HostImage;

// One channel of a pixel buffer as the ChannelPorts suite sees it, plus the channel type the host
// reported for it.
struct ChannelDescriptor {
    FpPixelMemoryDesc memory{};
    int16_t channelType = 0;
};

// A tile buffer in host memory. Interleaved: channel k of pixel (x, y) is at
// data + y * rowBytes + x * pixelBytes + k * bytesPerChannel. The rectangle can be changed between
// bands (setRect) as long as the pixels fit the allocated block.
struct HostPixelBuffer : fx::PixelBuffer {
    HostImage* owner = nullptr;
    std::vector<ChannelDescriptor> descriptors;
    int16_t imageMode = kFpModeRGB;
    FpBufferID bufferId = nullptr;  // advance-state transport
    void* suiteBlock = nullptr;     // suite transport
    std::size_t capacity = 0;       // bytes of the block

    std::size_t byteSize() const { return static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(rect.height()); }
    uint8_t* row(int32_t y) { return data + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowBytes); }
    const uint8_t* row(int32_t y) const { return data + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowBytes); }
};

// Frees a buffer through the HostImage that made it.
struct HostBufferFree {
    void operator()(HostPixelBuffer* buffer) const;
};
using HostBufferPtr = std::unique_ptr<HostPixelBuffer, HostBufferFree>;

// A failed host call (a suite that cannot be acquired, a ChannelPorts error): the selector
// dispatcher reports it as kFpHostCallFailedErr.
struct HostCallFailure {
    int32_t code;
};
// A 16-bit result code raised by the bridge; the dispatcher passes it to the host unchanged.
struct HostResult {
    int16_t code;
};

struct FilterLayout {
    fx::Rect filterRect;
    fx::Point tileOrigin;       // x = h, y = v
    int32_t tileHeight = 256;
    int32_t tileWidth = 0;
};

class HostImage {
public:
    explicit HostImage(FilterRecord& record);
    HostImage(const HostImage&) = delete;
    HostImage& operator=(const HostImage&) = delete;

    FilterRecord& record() { return record_; }
    bool suiteTransport() const { return suites_; }
    int32_t channelCount() const { return channels_; }
    int32_t bytesAllocated() const { return allocated_; }

    // The filter rectangle and the host's tile; a tile side of 0 means 256 rows by the filter
    // rectangle's width.
    FilterLayout filterLayout() const;
    // {0, 0, image height, image width}.
    fx::Rect imageBounds() const;

    // Advance-state transport: asks the host for in (planes 0..2) and offers out; nothing with the
    // suites. Empty rectangles ask for nothing.
    void request(const fx::Rect& in, const fx::Rect& out);

    // A zero-filled buffer over rect (3 channels are raised to 4), or null when the host has no
    // memory for it.
    HostBufferPtr allocate(const fx::Rect& rect, int32_t channels, int32_t bytesPerChannel, int16_t imageMode);
    void free(HostPixelBuffer* buffer);
    // Moves the buffer onto another rectangle of at most its allocated size.
    static void setRect(HostPixelBuffer& buffer, const fx::Rect& rect);

    // Fills the buffer with the source pixels of rect (the buffer's size). Advance state: rect must
    // be the rectangle last requested as input; the fourth channel becomes 255. Suites: only the
    // document's target channels are read.
    void readRect(HostPixelBuffer& buffer, const fx::Rect& rect);
    // Writes band back from the buffer, whose pixel offset.x, offset.y is the band's top-left.
    // Advance state: band must be the rectangle last requested as output.
    void writeRect(HostPixelBuffer& buffer, const fx::Rect& band, fx::Point offset);

    // Same-size copy of every pixel byte (and the channel types).
    static void copy(HostPixelBuffer& dst, const HostPixelBuffer& src);
    // Copies size.width() x size.height() pixels of src starting at offset into dst from its origin,
    // clipped to both buffers.
    static void copyWithOffset(HostPixelBuffer& dst, const HostPixelBuffer& src, const fx::Rect& size, fx::Point offset);
    static void clear(HostPixelBuffer& buffer);

    // Fills destRect (relative to the buffer's origin) with sourceRect of the document scaled to fit.
    // The rest of the buffer is zero-filled when destRect does not cover it.
    void readScaled(HostPixelBuffer& buffer, const fx::Rect& sourceRect, const fx::Rect& destRect);

private:
    template <class Suite> const Suite* acquire(const char* name, int32_t version);
    void release(const char* name, int32_t version);
    const FpChannelDesc* channelList() const;
    void setDescriptors(HostPixelBuffer& buffer) const;
    FpPixelMemoryDesc memoryAt(HostPixelBuffer& buffer, int32_t k, fx::Point offset) const;
    void requireAdvanceState(int32_t bytesPerChannel) const;

    FilterRecord& record_;
    int32_t channels_ = 3;
    int32_t allocated_ = 0;
    bool suites_ = false;
};

// Row access to the host document through advance state for the resampler: 8-bit RGBA rows read in
// bands of up to 512 rows. writeRow does nothing.
class PSImageInterface final : public fx::ImageBuffer {
public:
    static constexpr int32_t BandRows = 512;
    explicit PSImageInterface(HostImage& image) : image_(image) {}
    int channels() const override { return 4; }
    int bytesPerChannel() const override { return 1; }
    void size(int* width, int* height) const override;
    void readRow(int y, int x, int count, uint8_t* rgbaOut) override;
    void writeRow(int, int, int, const uint8_t*) override {}

private:
    HostImage& image_;
    fx::Rect band_;
};

// Row access to an 8-bit, 4-channel host buffer for the resampler: writeRow stores RGBA pixels from
// column x on (clipped to the buffer); readRow does nothing.
class BufferInterface final : public fx::ImageBuffer {
public:
    explicit BufferInterface(HostPixelBuffer& buffer) : buffer_(buffer) {}
    int channels() const override { return 4; }
    int bytesPerChannel() const override { return 1; }
    void size(int* width, int* height) const override;
    void readRow(int, int, int, uint8_t*) override {}
    void writeRow(int y, int x, int count, const uint8_t* rgbaIn) override;

private:
    HostPixelBuffer& buffer_;
};

} // namespace orvo::host
