#include "framework/Image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace fx {

Image* Image::create(int32_t width, int32_t height, int32_t channels, int32_t bytesPerChannel,
                     int32_t rowBytes, void* data)
{
    if (channels < 1 || channels > 4 || (bytesPerChannel != 1 && bytesPerChannel != 2))
        throw std::invalid_argument("unsupported image channel layout");

    const int32_t pixelBytes = channels * bytesPerChannel;
    int64_t rb = rowBytes;
    const bool bottomUp = rowBytes < 0;
    if (rb < 0)
        rb = -rb;
    if (rb == 0)
        rb = static_cast<int64_t>(std::max(width, 0)) * pixelBytes;
    if (rb > std::numeric_limits<int32_t>::max())
        throw std::bad_alloc();

    Image* image = new Image();
    image->width = width;
    image->height = height;
    image->channels = channels;
    image->bytesPerChannel = bytesPerChannel;
    image->bytesPerPixel = pixelBytes;
    image->rowBytes = static_cast<int32_t>(rb);
    image->stride = bottomUp ? -image->rowBytes : image->rowBytes;
    image->hasAlpha = channels == 2 || channels == 4;
    image->bounds = Rect{0, 0, height, width};

    if (data) {
        image->data = static_cast<uint8_t*>(data);
    } else if (width > 0 && height > 0) {
        const std::size_t size = static_cast<std::size_t>(rb) * static_cast<std::size_t>(height);
        try {
            image->data = new uint8_t[size];
        } catch (...) {
            delete image;
            throw;
        }
        image->ownsData = 1;
    }
    if (image->data) {
        image->origin = image->data;
        if (bottomUp && height > 0)
            image->origin += static_cast<std::size_t>(rb) * static_cast<std::size_t>(height - 1);
    }
    return image;
}

Image* Image::wrap(PixelBuffer& buffer)
{
    Image* image = create(buffer.rect.width(), buffer.rect.height(), buffer.channels,
                          buffer.bytesPerChannel, buffer.rowBytes, buffer.data);
    image->bounds = buffer.rect;
    image->hostBuffer = &buffer;
    return image;
}

Image::~Image()
{
    if (ownsData)
        delete[] data;
}

void Image::release()
{
    if (--refCount <= 0)
        delete this;
}

void Image::copyPixels(const Image& from)
{
    if (&from == this || from.origin == origin)
        return;
    if (from.width != width || from.height != height || from.bytesPerPixel != bytesPerPixel)
        throw std::invalid_argument("copyPixels between images of different sizes");
    if (!origin || !from.origin || height <= 0)
        return;

    if (stride == from.stride) {
        // Both blocks have the same layout: copy them whole, starting at the lowest address.
        const std::ptrdiff_t low = stride < 0 ? static_cast<std::ptrdiff_t>(stride) * (height - 1) : 0;
        std::memcpy(origin + low, from.origin + low, static_cast<std::size_t>(rowBytes) * height);
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(std::min(rowBytes, from.rowBytes));
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(row(y), from.row(y), bytes);
}

} // namespace fx
