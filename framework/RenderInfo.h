#pragma once

#include "framework/Image.h"
#include "framework/Rect.h"

#include <cstdint>

namespace fx {

struct Effect;
struct EffectOps;

namespace Plugin {

// What an effect sees of one render (a final run or a preview repaint). The five operations are
// answered by the host; the fields are filled by the render driver.
class RenderInfo {
public:
    // Effects that poll it stop their work early when it answers true.
    virtual bool cancelRequested() = 0;
    // Progress from inside a long tile; false asks the effect to stop.
    virtual bool reportProgress(int32_t done, int32_t total) = 0;
    virtual bool hostQuery(int32_t a, int32_t b) = 0;    // answered true by this host
    virtual void hostNotify(int32_t a, int32_t b) = 0;   // does nothing in this host
    // Random access to the unfiltered source: the cached band holding point, or null when the point
    // lies outside the filter rectangle. band receives the cached band in cache coordinates.
    // An effect that calls it sets effect flag 0x40 so that the host restores the tile request.
    virtual Image* sourceAt(Point point, Rect* band) = 0;

    Image* output = nullptr;      // the buffer the effect writes
    Rect renderRect;              // {0, 0, input height, input width}: the whole buffer, borders included
    float frame = 0.0f;           // frame number, 0 in this host
    float timeScale = 1.0f;       // 1.0 in this host
    float scaleX = 1.0f;          // 1.0 in the final render, the preview zoom in the dialog
    float scaleY = 1.0f;
    int32_t passes = 1;           // extra blur passes (handed to the separable blur)
    int32_t fieldMode = 2;        // 2 in this host; 0 would mean field-doubled vertical geometry
    uint8_t sixteenBit = 0;       // channels are 16-bit (0..32768)
    float pixelAspect = 1.0f;     // 1.0 in this host
    int32_t imageWidth = 0;       // the whole document, multiplied by the scale in the preview
    int32_t imageHeight = 0;
    Rect tileRect;                // the band being produced, image coordinates
    int32_t tileCount = 0;
    int32_t tileIndex = -1;       // -1 between beginRender and the first tile
    uint8_t preview = 0;          // rendering for the dialog preview

    // Sizes are given in thousandths of the image height, so results do not depend on resolution
    // and follow the preview zoom.
    float unitsToPixelsY(float units) const { return static_cast<float>(imageHeight * units * 0.001); }
    float unitsToPixelsX(float units) const
    {
        return static_cast<float>(imageHeight / scaleY * scaleX * units * 0.001);
    }

protected:
    RenderInfo() = default;
    ~RenderInfo() = default;
    RenderInfo(const RenderInfo&) = delete;
    RenderInfo& operator=(const RenderInfo&) = delete;
};

} // namespace Plugin

using Plugin::RenderInfo;

// The render information as this host answers it: never cancelled, progress always accepted, no
// random source access. The host bridge derives its own (filter rectangle, tile layout, source band
// cache) and overrides sourceAt and the two layout hooks.
class HostRenderInfo : public RenderInfo {
public:
    HostRenderInfo() = default;
    virtual ~HostRenderInfo() = default;

    bool cancelRequested() override { return false; }
    bool reportProgress(int32_t, int32_t) override { return true; }
    bool hostQuery(int32_t, int32_t) override { return true; }
    void hostNotify(int32_t, int32_t) override {}
    Image* sourceAt(Point, Rect*) override { return nullptr; }

    // Called by the driver's begin before beginRender: fetch the filter rectangle and tile layout.
    virtual void fetchLayout() {}
    // Called by the driver's end: free the cached source band and preview source.
    virtual void releaseCaches() {}
};

// The effect-facing half of a render run: fills the RenderInfo, asks the effect for its borders and
// renders tiles from one pixel buffer into another. One driver per render run (the final run, or the
// dialog's preview).
class RenderDriver {
public:
    RenderDriver(Effect& effect, HostRenderInfo& info);
    ~RenderDriver();
    RenderDriver(const RenderDriver&) = delete;
    RenderDriver& operator=(const RenderDriver&) = delete;

    float zoomX = 1.0f;
    float zoomY = 1.0f;

    // Stores the image size, copies the zoom into the scale fields, resets the constant fields and
    // the tile index, fetches the host layout, then calls the effect's beginRender.
    void begin(int32_t imageWidth, int32_t imageHeight, bool sixteenBit, bool preview);
    // rect grown by the effect's inputRect.
    Rect inputRectFor(const Rect& rect);
    // Wraps the two buffers in Image descriptors, fills the render and tile fields, puts the input
    // into parameter 0 and calls renderTile. False when the effect raised any exception.
    bool renderOneTile(PixelBuffer& input, PixelBuffer& output, const Rect& inputRect,
                       const Rect& tileRect, int32_t tileIndex, int32_t tileCount);
    // isActive of the effect with its current parameters.
    bool isActive() const;
    // Frees the host caches and releases the image descriptors.
    void end();

    Effect& effect() { return effect_; }
    HostRenderInfo& info() { return info_; }

private:
    void releaseImages();

    Effect& effect_;
    const EffectOps* ops_;
    HostRenderInfo& info_;
    ImageRef input_;
    ImageRef output_;
};

} // namespace fx
