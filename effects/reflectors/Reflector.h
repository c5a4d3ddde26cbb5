#pragma once

// The gold and silver reflectors: a bounce card that adds a coloured copy of the picture to itself
// where a luminance matte (the shadows by default) says so. The two differ only in their name, title
// and default colour.

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/matte/Selection.h"
#include "imaging/pixel/Pixel.h"

#include <algorithm>
#include <cstdint>

namespace orvo {

struct Reflector : fx::Effect {
    enum : int { Input = 0, ViewParam, Brightness, Color, Position, Range, Count };
    enum View : int32_t { Output = 0, SelectionView = 1, Original = 2, ViewCount };
    static constexpr const char* const kViews[ViewCount] = {"Output", "Selection", "Original"};

    // Luminance, no clip, no shrink/grow, no blur, no invert; position and range set per render.
    imaging::Selection selection;

    Reflector(const fx::EffectOps* ops, const double (&color)[3]) : Effect(ops)
    {
        table[Input].initInput("background", "Background");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        table[Brightness].initRange("brightness", "Brightness", 0, 500, 50, 0);
        table[Color].initColor("color", "Color", color);
        table[Position].initRange("position", "Position", 0, 100, 0, 0);
        table[Range].initRange("range", "Range", 0, 100, 80, 0);
        setParameters(table, Count);
    }

    // A stored index outside the list shows the input, like "Original".
    int32_t view() const
    {
        const int32_t v = valueAsInt(ViewParam);
        return v == Output || v == SelectionView ? v : Original;
    }
};

inline bool reflectorIsActive(const fx::Effect& e)
{
    const auto& self = static_cast<const Reflector&>(e);
    return self.view() != Reflector::Original && self.valueAsDouble(Reflector::Brightness) > 0;
}

inline void reflectorBeginRender(fx::Effect& e, fx::RenderInfo*)
{
    auto& self = static_cast<Reflector&>(e);
    self.selection.setPosition(static_cast<float>(self.valueAsDouble(Reflector::Position) * 0.01));
    self.selection.setRange(static_cast<float>(self.valueAsDouble(Reflector::Range) * 0.02));
}

// out_c = min(full, in_c + trunc(mul(in_c, m) × k_c)) where the matte m is not 0; alpha and pixels
// outside the matte keep their copied values.
template <class Traits>
void reflect(fx::Image& out, const fx::Image& matte, const fx::Rect& r, const float (&k)[3])
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        V* p = out.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(r.left);
        const V* m = matte.rowAs<V>(y) + r.left;
        for (int32_t x = 0; x < r.width(); ++x, p += 4) {
            const int32_t t = m[x];
            if (t == 0)
                continue;
            for (int c = 0; c < 3; ++c) {
                const int32_t v = std::min<int32_t>(p[c], full);
                const float lift = static_cast<float>(imaging::mul<Traits>(v, t)) * k[c];
                p[c] = static_cast<V>(lift >= full ? full : std::min(full, v + static_cast<int32_t>(lift)));
            }
        }
    }
}

inline void reflectorRenderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<Reflector&>(e);
    const fx::Image* in = self.params[Reflector::Input].input.image;
    fx::Image* out = info->output;
    if (!in || !out)
        return;
    const fx::Rect& rr = info->renderRect;
    const fx::Rect r{std::max(rr.top, 0), std::max(rr.left, 0), std::min({rr.bottom, in->height, out->height}),
                     std::min({rr.right, in->width, out->width})};
    const int32_t view = self.view();
    if (view == Reflector::Original) {
        imaging::copyRect(*out, *in, r);
        return;
    }
    const fx::ImageRef matte = self.selection.buildMatte(*in, r, *info);
    if (view == Reflector::SelectionView) {
        imaging::expandGrey(*matte, *out, r);
        return;
    }
    imaging::copyRect(*out, *in, r);
    const double amount = self.valueAsDouble(Reflector::Brightness) * 0.01;
    const fx::ColorD color = self.colorValue(Reflector::Color);
    // Three single-precision factors; a negative (or NaN) stored colour adds nothing.
    auto factor = [amount](double c) {
        const auto f = static_cast<float>(amount * c);
        return f > 0 ? f : 0.0f;
    };
    const float k[3] = {factor(color.r), factor(color.g), factor(color.b)};
    fx::withChannelTraits(out->sixteenBit(), [&](auto traits) {
        reflect<decltype(traits)>(*out, *matte, r, k);
    });
}

} // namespace orvo
