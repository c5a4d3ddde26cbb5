#pragma once

#include "framework/Rect.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace fx {

// A block of interleaved pixels owned by someone else (a host tile buffer). Channel k of pixel
// (x, y) lives at data + y * rowBytes + x * pixelBytes + k * bytesPerChannel. The host bridge's
// buffers extend this with their transport state.
struct PixelBuffer {
    Rect rect;                 // position in image coordinates
    int32_t channels = 4;
    int32_t bytesPerChannel = 1;
    int32_t rowBytes = 0;
    int32_t pixelBytes = 0;
    uint8_t* data = nullptr;
};

// Reference-counted image descriptor. Rows are addressed as origin + y * stride, so code that walks
// rows never needs to know whether the block is stored top-down (stride > 0) or bottom-up (stride < 0).
// 8-bit channels hold 0..255, 16-bit channels hold 0..32768 (0x8000 is full scale).
class Image {
public:
    uint8_t* data = nullptr;      // the allocated or borrowed block
    uint8_t* origin = nullptr;    // first byte of row 0
    int32_t refCount = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    int32_t bytesPerChannel = 0;
    int32_t bytesPerPixel = 0;
    int32_t rowBytes = 0;         // always positive
    int32_t stride = 0;           // +rowBytes top-down, -rowBytes bottom-up
    uint8_t hasAlpha = 0;         // channels is 2 or 4
    uint8_t ownsData = 0;         // the descriptor allocated the block and frees it
    Rect bounds;                  // position of the pixels in image coordinates
    PixelBuffer* hostBuffer = nullptr;

    // A new descriptor with reference count 0. rowBytes 0 means width * bytes per pixel; a negative
    // rowBytes makes a bottom-up image. With data the block is borrowed; without it and with a
    // positive size a block of height * rowBytes bytes is allocated (uninitialised). Non-positive
    // sizes leave data null. Throws std::invalid_argument for a channel layout other than 1..4
    // channels of 1 or 2 bytes, and std::bad_alloc when the block cannot be had.
    static Image* create(int32_t width, int32_t height, int32_t channels, int32_t bytesPerChannel,
                         int32_t rowBytes = 0, void* data = nullptr);
    // A descriptor over a host pixel buffer (borrowed pixels, bounds = the buffer's rectangle).
    static Image* wrap(PixelBuffer& buffer);

    void retain() { ++refCount; }
    // Decrements the count; at zero frees an owned block and the descriptor itself.
    void release();

    // Same-size copy of the pixels of from: one block copy when both strides are equal, otherwise
    // row by row. Copying onto itself does nothing. Throws std::invalid_argument on a size mismatch.
    void copyPixels(const Image& from);

    uint8_t* row(int32_t y) { return origin + static_cast<std::ptrdiff_t>(y) * stride; }
    const uint8_t* row(int32_t y) const { return origin + static_cast<std::ptrdiff_t>(y) * stride; }
    template <class T> T* rowAs(int32_t y) { return reinterpret_cast<T*>(row(y)); }
    template <class T> const T* rowAs(int32_t y) const { return reinterpret_cast<const T*>(row(y)); }

    bool sixteenBit() const { return bytesPerChannel == 2; }

private:
    Image() = default;
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
};

// Holds one reference to an Image and gives it back on every exit path.
class ImageRef {
public:
    ImageRef() = default;
    // Takes a new reference to image (which may be null).
    explicit ImageRef(Image* image) : image_(image) { if (image_) image_->retain(); }
    ImageRef(const ImageRef& other) : ImageRef(other.image_) {}
    ImageRef(ImageRef&& other) noexcept : image_(std::exchange(other.image_, nullptr)) {}
    ImageRef& operator=(ImageRef other) noexcept { std::swap(image_, other.image_); return *this; }
    ~ImageRef() { reset(); }

    // Adopts a reference the caller already holds (no retain).
    static ImageRef adopt(Image* image) { ImageRef r; r.image_ = image; return r; }

    void reset() { if (image_) std::exchange(image_, nullptr)->release(); }
    Image* get() const { return image_; }
    Image* operator->() const { return image_; }
    Image& operator*() const { return *image_; }
    explicit operator bool() const { return image_ != nullptr; }

private:
    Image* image_ = nullptr;
};

// A new free-standing image held by the returned reference.
inline ImageRef makeImage(int32_t width, int32_t height, int32_t channels, int32_t bytesPerChannel)
{
    return ImageRef(Image::create(width, height, channels, bytesPerChannel));
}

} // namespace fx
