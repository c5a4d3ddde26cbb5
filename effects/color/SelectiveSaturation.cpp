// "SelectiveSaturation": saturation for the shadows, midtones and highlights. Each range's amount is
// weighted by the range weight at the pixel's luminance Y; the summed factor v moves every colour
// channel away from (or toward) Y: c' = clamp(trunc(v (c - Y) + c)). Since v depends on Y alone it
// is tabulated per level.

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

extern const fx::EffectOps selectiveSaturationOps;

namespace {

const char* const kViews[] = {"Output", "Shadows", "Midtones", "Highlights", "Original"};
enum View : int32_t { Output = 0, ShadowsView, MidtonesView, HighlightsView, Original, ViewCount };

// Offsets inside a range group (after its GroupBegin): saturation, position, range.
enum : int { Sat = 0, Pos, Span, GroupSize = 3 };

struct SelectiveSaturation : fx::Effect {
    enum : int { Input = 0, ViewParam, FirstGroup, Count = FirstGroup + 3 * (GroupSize + 2) };
    static_assert(Count == 17);
    static constexpr int groupStart(int k) { return FirstGroup + k * (GroupSize + 2) + 1; }

    tone::RangeWeights weights[3];
    // v per luminance level, in extended precision, and the settings it was built from.
    std::vector<long double> factor;
    std::array<float, 9> built{};
    int builtWidth = 0;

    SelectiveSaturation() : Effect(&selectiveSaturationOps)
    {
        table[Input].initInput("input", "Input");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        struct Group {
            const char *key, *label, *sat, *pos, *span;
            double position, range;
        };
        const Group groups[] = {
            {"Shadows", "Shadows", "sSat", "sPos", "sRange", 0, 80},
            {"midtones", "Midtones", "mSat", "mPos", "mRange", 50, 40},
            {"highlights", "Highlights", "hSat", "hPos", "hRange", 100, 80},
        };
        for (int k = 0; k < 3; ++k) {
            fx::Parameter* p = table + groupStart(k);
            const Group& g = groups[k];
            p[-1].initGroupBegin(g.key, g.label, false);
            p[Sat].initRange(g.sat, "Saturation", -100, 100, 0, 0);
            p[Pos].initRange(g.pos, "Position", 0, 100, g.position, 0);
            p[Span].initRange(g.span, "Range", 0, 100, g.range, 0);
            p[GroupSize].initGroupEnd();
        }
        setParameters(table, Count);
    }

    int32_t currentView() const { return tone::viewIndex(*this, ViewParam, ViewCount, Original); }
    std::array<float, 9> settings() const
    {
        std::array<float, 9> s{};
        for (int k = 0; k < 3; ++k)
            for (int f = 0; f < GroupSize; ++f)
                s[3 * k + f] = tone::percent(*this, groupStart(k) + f);
        return s;
    }

    template <class Traits>
    const typename Traits::value_type* weightTable(int k, const std::array<float, 9>& s)
    {
        return weights[k].get<Traits>(s[3 * k + Pos], s[3 * k + Span]);
    }

    template <class Traits>
    void buildFactors(const std::array<float, 9>& s)
    {
        constexpr long double inv = 1.0L / Traits::fullScale;
        factor.assign(Traits::tableSize, 0.0L);
        for (int k = 0; k < 3; ++k) {
            const float amount = s[3 * k + Sat];
            const auto* w = weightTable<Traits>(k, s);
            for (int32_t i = 0; i < Traits::tableSize; ++i)
                factor[i] += amount * (w[i] * inv);
        }
    }
};

const char* title(fx::Effect*) { return "Orvo Selective Saturation"; }
const char* description(fx::Effect*) { return "SelectiveSaturation."; }

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const SelectiveSaturation&>(e);
    const int32_t view = self.currentView();
    if (view == Original)
        return false;
    if (view != Output)
        return true;
    const auto s = self.settings();
    return s[Sat] != 0 || s[3 + Sat] != 0 || s[6 + Sat] != 0;
}

void beginRender(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<SelectiveSaturation&>(e);
    const auto now = self.settings();
    const int width = info->sixteenBit ? 16 : 8;
    if (now == self.built && width == self.builtWidth)
        return;
    fx::withChannelTraits(info->sixteenBit != 0, [&](auto traits) {
        self.buildFactors<decltype(traits)>(now);
    });
    self.built = now;
    self.builtWidth = width;
}

// trunc(x) limited to the channel range, taken in the extended precision x was computed in.
template <class Traits>
typename Traits::value_type truncExtended(long double x)
{
    if (!(x > 0))
        return 0;
    if (x >= Traits::fullScale)
        return static_cast<typename Traits::value_type>(Traits::fullScale);
    return static_cast<typename Traits::value_type>(x);
}

template <class Traits>
void saturate(const fx::Image& in, fx::Image& out, const fx::Rect& rect, const long double* factor)
{
    using V = typename Traits::value_type;
    tone::forEachRow<Traits>(in, out, rect, [&](const V* s, V* d, int32_t n) {
        for (int32_t i = 0; i < n; ++i, s += 4, d += 4) {
            const int32_t r = tone::level<Traits>(s[0]), g = tone::level<Traits>(s[1]), b = tone::level<Traits>(s[2]);
            const int32_t y = imaging::luma<Traits>(r, g, b);
            const long double v = factor[y];
            d[0] = truncExtended<Traits>(v * (r - y) + r);
            d[1] = truncExtended<Traits>(v * (g - y) + g);
            d[2] = truncExtended<Traits>(v * (b - y) + b);
            d[3] = s[3];
        }
    });
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<SelectiveSaturation&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    const int32_t view = self.currentView();
    if (view == Original || in->bytesPerChannel != out->bytesPerChannel)
        return;
    fx::withChannelTraits(out->sixteenBit(), [&](auto traits) {
        using Traits = decltype(traits);
        // Tables follow the image actually rendered, even if beginRender saw another width.
        if (static_cast<int>(self.factor.size()) != Traits::tableSize) {
            self.buildFactors<Traits>(self.built);
            self.builtWidth = Traits::sixteenBit ? 16 : 8;
        }
        if (view == Output) {
            saturate<Traits>(*in, *out, info->renderRect, self.factor.data());
            return;
        }
        const auto* w = self.weightTable<Traits>(view - ShadowsView, self.built);
        tone::showWeights<Traits>(*in, *out, info->renderRect, w, imaging::luma<Traits>);
    });
}

} // namespace

const fx::EffectOps selectiveSaturationOps = {
    fx::createSlot<SelectiveSaturation>, fx::cloneSlot<SelectiveSaturation>,
    fx::destroySlot<SelectiveSaturation>, title, fx::defaults::vendorName, fx::defaults::productTitle,
    fx::defaults::productKey, description, nullptr, fx::defaults::version, isActive, beginRender, renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
