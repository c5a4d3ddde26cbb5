#pragma once

// The host-side half of a render run: the RenderInfo the effect sees, answered over the host
// document (filter rectangle, tile layout, random source access), and the driver that runs the final
// band loop or one preview repaint.

#include "framework/RenderInfo.h"
#include "host/HostImage.h"

#include <cstdint>

namespace fx { struct Effect; }

namespace orvo::host {

class PS_RenderInfo final : public fx::HostRenderInfo {
public:
    explicit PS_RenderInfo(HostImage& image) : image_(image) {}
    ~PS_RenderInfo() override;

    // Random access to the unfiltered source for effects that set effect flag 0x40. point is in image
    // coordinates; null outside the filter rectangle. The cache covers the filter rectangle (its
    // pixel (0, 0) is the rectangle's top-left) and holds one band of tile-height rows at a time,
    // aligned to the tile grid from the rectangle's top; band receives those rows in cache
    // coordinates. The cache has the run's channel width.
    fx::Image* sourceAt(fx::Point point, fx::Rect* band) override;
    void fetchLayout() override { layout_ = image_.filterLayout(); }
    void releaseCaches() override;

    const FilterLayout& layout() const { return layout_; }

    // The preview's cached whole-view source (and the buffer it is rendered into), kept across
    // repaints of one size.
    HostBufferPtr previewSource;
    HostBufferPtr previewOutput;
    fx::Point previewDestinationSize{-1, -1};
    int32_t previewSourceReads = 0;  // how often the cached source was (re)filled

private:
    HostImage& image_;
    FilterLayout layout_;
    HostBufferPtr sourceCache_;
    fx::ImageRef sourceImage_;
    fx::Rect cachedRows_;  // image rows held by the source cache; empty when none
};

// One render run over the host document: the image access object, the render info and the
// effect-facing driver. The final run creates one with preview false, the dialog one with preview
// true for all its repaints.
class PS_RenderDriver {
public:
    PS_RenderDriver(FilterRecord& record, fx::Effect& effect, bool preview);
    PS_RenderDriver(const PS_RenderDriver&) = delete;
    PS_RenderDriver& operator=(const PS_RenderDriver&) = delete;

    HostImage& image() { return image_; }
    PS_RenderInfo& info() { return info_; }
    fx::RenderDriver& driver() { return driver_; }

    // The final run: renders the filter rectangle band by band at bytesPerChannel (1 or 2) and writes
    // every band back, reporting progress and polling abort after each. False when the host asked to
    // abort (the remaining bands are skipped).
    bool renderDocument(int32_t bytesPerChannel);

    // One preview repaint: renders view (in the image scaled by zoom) into destination from its
    // origin, at destination's channel width. noBorder shows the source without rendering. False,
    // with destination cleared, when rendering failed.
    bool renderPreview(const fx::Rect& view, float zoom, HostPixelBuffer& destination, bool noBorder);

private:
    bool renderWholeView(const fx::Rect& view, fx::Point scaled, HostPixelBuffer& destination);

    HostImage image_;
    PS_RenderInfo info_;
    fx::RenderDriver driver_;
    bool preview_;
};

// How the final run cuts the filter rectangle into bands.
struct BandPlan {
    int32_t tileHeight = 0;
    int32_t tileWidth = 0;
    int32_t rows = 0;
    int32_t columns = 0;
    fx::Rect borders;     // top, left, bottom, right reach of the effect (never negative)
    fx::Point padded;     // size of the input and output buffers (x = width, y = height)
};

// layout: the host's; imageSize: x = width, y = height; firstInput: the effect's input rectangle
// for the first band {origin.v, origin.h, origin.v + tile height, origin.h + filter width}.
BandPlan planBands(const FilterLayout& layout, fx::Point imageSize, const fx::Rect& firstInput);

} // namespace orvo::host
