// "CrossProcessing": film developed in the other process's chemistry. The colour corrector shifts
// saturation, gamma and the red and blue gains by the mode's recipe scaled by Amount; the corrected
// image is overlaid on the input (the input as base) and mixed with the corrected image by Amount.

#include "effects/EffectSupport.h"
#include "effects/color/ToneEffectSupport.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/Numeric.h"
#include "framework/RenderInfo.h"
#include "imaging/color/ColorCorrector.h"
#include "imaging/pixel/Overlay.h"
#include "imaging/pixel/Pixel.h"

namespace orvo {

extern const fx::EffectOps crossProcessingOps;

namespace {

const char* const kViews[] = {"Output", "Original"};
enum View : int32_t { Output = 0, Original = 1, ViewCount };
const char* const kModes[] = {"Print to Slide", "Slide to Print"};
enum Mode : int32_t { PrintToSlide = 0, SlideToPrint = 1, ModeCount };

constexpr uint32_t kAmountDisplayFlag = 0x4000;

struct CrossProcessing : fx::Effect {
    enum : int { Input = 0, ViewParam, ModeParam, Amount, Count };

    imaging::ColorCorrector corrector;
    int32_t builtMode = -1;
    float builtAmount = 0;
    int builtWidth = 0;

    CrossProcessing() : Effect(&crossProcessingOps)
    {
        table[Input].initInput("background", "Background");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        table[ModeParam].initList("mode", "Mode", kModes, ModeCount, SlideToPrint);
        table[Amount].initRange("amount", "Amount", 0, 100, 100, 0);
        table[Amount].orFlags(kAmountDisplayFlag);
        setParameters(table, Count);
    }

    bool output() const { return valueAsInt(ViewParam) == Output; }

    // The mode's recipe at strength x: saturation (percent), gamma, red and blue gain.
    void update(bool sixteenBit)
    {
        const int32_t mode = valueAsInt(ModeParam) == PrintToSlide ? PrintToSlide : SlideToPrint;
        const float x = tone::percent(*this, Amount);
        const int width = sixteenBit ? 16 : 8;
        if (mode == builtMode && x == builtAmount && width == builtWidth)
            return;
        if (mode == PrintToSlide)
            corrector.setAll(0, 20 * x, 0, 0, 0.10f * x, -0.70f * x, 0, 0.20f * x, sixteenBit);
        else
            corrector.setAll(0, 0, 0, 0, 0.70f * x, -0.50f * x, 0, 1.00f * x, sixteenBit);
        builtMode = mode;
        builtAmount = x;
        builtWidth = width;
    }
};

const char* title(fx::Effect*) { return "Orvo Cross Processing"; }
const char* description(fx::Effect*) { return "Tint a gradiated portion of the image."; }

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const CrossProcessing&>(e);
    return self.output() && self.valueAsDouble(CrossProcessing::Amount) > 0;
}

void beginRender(fx::Effect& e, fx::RenderInfo* info)
{
    static_cast<CrossProcessing&>(e).update(info->sixteenBit != 0);
}

// out holds the corrected pixels v, in the input pixels b. The overlay o of base b with blend v
// replaces v at full strength; otherwise each colour channel becomes (v (max - h) + o h) / max. The
// overlay keeps v's A, so the mix leaves A as the corrector left it (the input's).
template <class Traits>
void overlayOnInput(const fx::Image& in, fx::Image& out, const fx::Rect& rect, int32_t h)
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    tone::forEachRow<Traits>(in, out, rect, [&](const V* s, V* d, int32_t n) {
        for (int32_t i = 0; i < n; ++i, s += 4, d += 4)
            for (int c = 0; c < 3; ++c) {
                const int32_t v = tone::level<Traits>(d[c]);
                const int32_t o = imaging::overlay<Traits>(tone::level<Traits>(s[c]), v);
                d[c] = static_cast<V>(h == full ? o : (v * (full - h) + o * h) / full);
            }
    });
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<CrossProcessing&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    if (!self.output() || out->channels != 4 || !out->origin || in->bytesPerChannel != out->bytesPerChannel)
        return;
    self.update(out->sixteenBit());
    self.corrector.applyRect(*out, info->renderRect);
    const double x = self.builtAmount;
    fx::withChannelTraits(out->sixteenBit(), [&](auto traits) {
        using Traits = decltype(traits);
        overlayOnInput<Traits>(*in, *out, info->renderRect, fx::scaleToChannel(x, Traits::fullScale));
    });
}

} // namespace

const fx::EffectOps crossProcessingOps = {
    fx::createSlot<CrossProcessing>, fx::cloneSlot<CrossProcessing>, fx::destroySlot<CrossProcessing>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, beginRender, renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
