// "ColorCorrect": the full three-range colour corrector as a filter. Parameters: the input, the
// view, then the corrector's own 42-record block. The range views show each range's weight as grey.

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/color/ColorCorrector.h"

#include <algorithm>
#include <cstring>

namespace orvo {

extern const fx::EffectOps colorCorrectOps;

namespace {

const char* const kViews[] = {"Output", "Shadows", "Midtones", "Highlights", "Original"};
enum View : int32_t { Output = 0, ShadowsView = 1, MidtonesView = 2, HighlightsView = 3, Original = 4, ViewCount };

struct ColorCorrect : fx::Effect {
    enum : int { Input = 0, ViewParam = 1, Block = 2, Count = Block + imaging::ColorCorrector::FullParameterCount };

    fx::Parameter own[Count];
    imaging::ColorCorrector corrector;
    int32_t view = Output;

    ColorCorrect() : Effect(&colorCorrectOps)
    {
        own[Input].initInput("input", "Input");
        own[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        corrector.defineParameters(own + Block, imaging::ColorCorrector::FullParameterCount);
        setParameters(own, Count);
    }

    // A stored view index outside the list shows the input unchanged.
    int32_t currentView() const
    {
        const int32_t v = valueAsInt(ViewParam);
        return v >= Output && v < ViewCount ? v : Original;
    }
};

const char* title(fx::Effect*) { return "Orvo Color Correct"; }
const char* description(fx::Effect*) { return "Color correction"; }

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const ColorCorrect&>(e);
    const int32_t view = self.currentView();
    return view != Original && (self.corrector.active() || view != Output);
}

void beginRender(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<ColorCorrect&>(e);
    self.corrector.update(self.params + ColorCorrect::Block, imaging::ColorCorrector::FullParameterCount,
                          info->sixteenBit != 0);
    self.view = self.currentView();
}

template <class Traits>
void renderRows(ColorCorrect& self, const fx::Image& in, fx::Image& out, const fx::Rect& r)
{
    using V = typename Traits::value_type;
    // The input buffer covers the output buffer (same size without a border).
    const int32_t top = std::max(r.top, 0), left = std::max(r.left, 0);
    const int32_t bottom = std::min({r.bottom, in.height, out.height});
    const int32_t right = std::min({r.right, in.width, out.width});
    if (top >= bottom || left >= right)
        return;
    const int32_t n = right - left;
    for (int32_t y = top; y < bottom; ++y) {
        const V* src = in.rowAs<V>(y) + 4 * left;
        V* dst = out.rowAs<V>(y) + 4 * left;
        switch (self.view) {
        case Output:
            self.corrector.applyRow(src, dst, n);
            break;
        case ShadowsView:
        case MidtonesView:
        case HighlightsView:
            self.corrector.maskRow(src, dst, n, self.view - ShadowsView);
            break;
        default:
            std::memmove(dst, src, static_cast<std::size_t>(n) * 4 * sizeof(V));
            break;
        }
    }
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<ColorCorrect&>(e);
    const fx::Image* in = self.params[ColorCorrect::Input].input.image;
    fx::Image* out = info->output;
    if (!in || !out || in->channels != 4 || out->channels != 4 || in->bytesPerChannel != out->bytesPerChannel)
        return;
    fx::withChannelTraits(out->sixteenBit(), [&](auto traits) {
        renderRows<decltype(traits)>(self, *in, *out, info->renderRect);
    });
}

} // namespace

const fx::EffectOps colorCorrectOps = {
    fx::createSlot<ColorCorrect>, fx::cloneSlot<ColorCorrect>, fx::destroySlot<ColorCorrect>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, beginRender, renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
