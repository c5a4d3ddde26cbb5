#include "framework/RenderLoop.h"

#include "framework/Effect.h"
#include "framework/RenderInfo.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace fx {

namespace {

struct OwnedBuffer {
    std::vector<uint8_t> bytes;
    PixelBuffer view;

    OwnedBuffer(const Rect& rect, int32_t bytesPerChannel)
    {
        view.rect = rect;
        view.channels = 4;
        view.bytesPerChannel = bytesPerChannel;
        view.pixelBytes = 4 * bytesPerChannel;
        view.rowBytes = view.pixelBytes * rect.width();
        bytes.assign(static_cast<std::size_t>(view.rowBytes) * static_cast<std::size_t>(rect.height()), 0);
        view.data = bytes.data();
    }
    uint8_t* row(int32_t y) { return view.data + static_cast<std::size_t>(y) * view.rowBytes; }
};

} // namespace

bool renderImage(Effect& effect, const Image& source, Image& destination, const RenderLoopOptions& options)
{
    if (source.channels != 4 || destination.channels != 4 || source.width != destination.width ||
        source.height != destination.height || source.bytesPerChannel != destination.bytesPerChannel)
        throw std::invalid_argument("renderImage needs two 4-channel images of one size and channel width");
    const int32_t width = source.width;
    const int32_t height = source.height;
    if (width <= 0 || height <= 0)
        return true;
    const int32_t band = std::max(1, options.bandHeight);
    const int32_t tileCount = (height + band - 1) / band;
    const int32_t bpc = source.bytesPerChannel;
    const int32_t pixelBytes = source.bytesPerPixel;

    HostRenderInfo info;
    RenderDriver driver(effect, info);
    driver.zoomX = driver.zoomY = options.zoom;
    driver.begin(width, height, bpc == 2, options.preview);

    bool allRendered = true;
    for (int32_t index = 0; index < tileCount; ++index) {
        const Rect tile{index * band, 0, std::min(height, (index + 1) * band), width};
        // The input always covers the tile, whatever the effect answered, and stays inside the image.
        Rect in = driver.inputRectFor(tile);
        in.top = std::max(0, std::min(in.top, tile.top));
        in.left = std::max(0, std::min(in.left, tile.left));
        in.bottom = std::min(height, std::max(in.bottom, tile.bottom));
        in.right = std::min(width, std::max(in.right, tile.right));

        OwnedBuffer input(in, bpc);
        for (int32_t y = in.top; y < in.bottom; ++y)
            std::memcpy(input.row(y - in.top), source.row(y) + static_cast<std::size_t>(in.left) * pixelBytes,
                        static_cast<std::size_t>(input.view.rowBytes));
        OwnedBuffer output(in, bpc);
        output.bytes = input.bytes;
        output.view.data = output.bytes.data();

        if (driver.isActive() && !driver.renderOneTile(input.view, output.view, in, tile, index, tileCount)) {
            allRendered = false;
            std::fill(output.bytes.begin(), output.bytes.end(), 0);
        }
        for (int32_t y = tile.top; y < tile.bottom; ++y)
            std::memcpy(destination.row(y) + static_cast<std::size_t>(tile.left) * pixelBytes,
                        output.row(y - in.top) + static_cast<std::size_t>(tile.left - in.left) * pixelBytes,
                        static_cast<std::size_t>(tile.width()) * pixelBytes);
    }
    driver.end();
    return allRendered;
}

} // namespace fx
