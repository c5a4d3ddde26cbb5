// "UltraContrast": lifts the shadows and lowers the highlights. One signed delta per luminance level
// is added to R, G and B:
//   delta[i] = trunc(((Th[i] - i) / max) Wh[i] (i / max) + ((Ts[i] - i) / max) Ws[i])
// with Ws, Wh the range weights and Ts, Th the tone tables of gamma sGamma / 100 and -hGamma / 100
// (1 / max in single precision). Only the highlight term carries the extra factor i / max.

#include "effects/EffectSupport.h"
#include "effects/color/ToneEffectSupport.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/color/ColorPrimitives.h"
#include "imaging/pixel/Pixel.h"

#include <array>
#include <vector>

namespace orvo {

extern const fx::EffectOps ultraContrastOps;

namespace {

const char* const kViews[] = {"Output", "Shadows", "Highlights", "Original"};
enum View : int32_t { Output = 0, ShadowsView, HighlightsView, Original, ViewCount };

struct UltraContrast : fx::Effect {
    enum : int {
        Input = 0, ViewParam,
        Shadows, SGamma, SPos, SRange, ShadowsEnd,
        Highlights, HGamma, HPos, HRange, HighlightsEnd,
        Count
    };
    static_assert(Count == 12);

    tone::RangeWeights shadowWeights, highlightWeights;
    std::vector<int32_t> delta;
    std::array<float, 6> built{};  // sGamma, sPos, sRange, hGamma, hPos, hRange as fractions
    int builtWidth = 0;

    UltraContrast() : Effect(&ultraContrastOps)
    {
        table[Input].initInput("input", "Input");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        table[Shadows].initGroupBegin("shadows", "Shadows", false);
        table[SGamma].initRange("sGamma", "Shadows", 0, 100, 25, 0);
        table[SPos].initRange("sPos", "Position", 0, 100, 0, 0);
        table[SRange].initRange("sRange", "Range", 0, 100, 80, 0);
        table[ShadowsEnd].initGroupEnd();
        table[Highlights].initGroupBegin("highlights", "Highlights", false);
        table[HGamma].initRange("hGamma", "Highlights", 0, 100, 25, 0);
        table[HPos].initRange("hPos", "Position", 0, 100, 100, 0);
        table[HRange].initRange("hRange", "Range", 0, 100, 80, 0);
        table[HighlightsEnd].initGroupEnd();
        for (int i : {int(Shadows), int(ShadowsEnd), int(Highlights), int(HighlightsEnd)})
            table[i].orFlags(fx::ParamFlag::BoxGroup);
        setParameters(table, Count);
    }

    int32_t currentView() const { return tone::viewIndex(*this, ViewParam, ViewCount, Original); }
    std::array<float, 6> settings() const
    {
        return {tone::percent(*this, SGamma), tone::percent(*this, SPos), tone::percent(*this, SRange),
                tone::percent(*this, HGamma), tone::percent(*this, HPos), tone::percent(*this, HRange)};
    }

    template <class Traits>
    void buildDelta(const std::array<float, 6>& s)
    {
        using V = typename Traits::value_type;
        constexpr int32_t n = Traits::tableSize;
        const float inv = imaging::kInvFullScale<Traits>;
        const V* ws = shadowWeights.get<Traits>(s[1], s[2]);
        const V* wh = highlightWeights.get<Traits>(s[4], s[5]);
        std::vector<V> ts(n), th(n);
        imaging::buildToneTable<Traits>(ts.data(), 0, 0, s[0]);
        imaging::buildToneTable<Traits>(th.data(), 0, 0, -s[3]);
        delta.resize(n);
        for (int32_t i = 0; i < n; ++i) {
            const float high = static_cast<float>(th[i] - i) * inv * static_cast<float>(wh[i])
                * (static_cast<float>(i) * inv);
            const float shadow = static_cast<float>(ts[i] - i) * inv * static_cast<float>(ws[i]);
            delta[i] = static_cast<int32_t>(high + shadow);
        }
        built = s;
        builtWidth = Traits::sixteenBit ? 16 : 8;
    }
};

const char* title(fx::Effect*) { return "Orvo Ultra Contrast"; }
const char* description(fx::Effect*) { return "Shadows and Highlights."; }
// This effect answers the collection's shared strings through its own entries.
const char* vendorName(fx::Effect* e) { return fx::defaults::vendorName(e); }
const char* productTitle(fx::Effect* e) { return fx::defaults::productTitle(e); }
const char* productKey(fx::Effect* e) { return fx::defaults::productKey(e); }

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const UltraContrast&>(e);
    const int32_t view = self.currentView();
    return view != Original
        && (view != Output || self.valueAsDouble(UltraContrast::SGamma) != 0
            || self.valueAsDouble(UltraContrast::HGamma) != 0);
}

void beginRender(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<UltraContrast&>(e);
    const auto now = self.settings();
    if (now == self.built && (info->sixteenBit ? 16 : 8) == self.builtWidth)
        return;
    fx::withChannelTraits(info->sixteenBit != 0, [&](auto traits) { self.buildDelta<decltype(traits)>(now); });
}

template <class Traits>
void addDelta(const fx::Image& in, fx::Image& out, const fx::Rect& rect, const int32_t* delta)
{
    using V = typename Traits::value_type;
    tone::forEachRow<Traits>(in, out, rect, [&](const V* s, V* d, int32_t n) {
        for (int32_t i = 0; i < n; ++i, s += 4, d += 4) {
            const int32_t r = tone::level<Traits>(s[0]), g = tone::level<Traits>(s[1]), b = tone::level<Traits>(s[2]);
            const int32_t k = delta[imaging::luma<Traits>(r, g, b)];
            d[0] = fx::clampChannel<Traits>(r + k);
            d[1] = fx::clampChannel<Traits>(g + k);
            d[2] = fx::clampChannel<Traits>(b + k);
            d[3] = s[3];
        }
    });
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<UltraContrast&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    const int32_t view = self.currentView();
    if (view == Original || in->bytesPerChannel != out->bytesPerChannel)
        return;
    fx::withChannelTraits(out->sixteenBit(), [&](auto traits) {
        using Traits = decltype(traits);
        if (self.builtWidth != (Traits::sixteenBit ? 16 : 8))
            self.buildDelta<Traits>(self.built);
        const auto& s = self.built;
        switch (view) {
        case Output:
            addDelta<Traits>(*in, *out, info->renderRect, self.delta.data());
            break;
        case ShadowsView:
            tone::showWeights<Traits>(*in, *out, info->renderRect, self.shadowWeights.get<Traits>(s[1], s[2]),
                                      imaging::luma<Traits>);
            break;
        default:
            tone::showWeights<Traits>(*in, *out, info->renderRect, self.highlightWeights.get<Traits>(s[4], s[5]),
                                      imaging::luma<Traits>);
            break;
        }
    });
}

} // namespace

const fx::EffectOps ultraContrastOps = {
    fx::createSlot<UltraContrast>, fx::cloneSlot<UltraContrast>, fx::destroySlot<UltraContrast>,
    title, vendorName, productTitle, productKey, description, nullptr, fx::defaults::version, isActive,
    beginRender, renderTile, fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
