// "Fluorescent": takes the green cast of fluorescent light out. With x = Temperature / 100 and
// k = trunc(x * max): green loses k and blue gains k, then every colour channel c grows by
// trunc(x * c) (x in single precision there), limited to the channel range. A is kept.

#include "effects/EffectSupport.h"
#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/Numeric.h"
#include "framework/RenderInfo.h"
#include "imaging/pixel/Pixel.h"

#include <algorithm>
#include <cstdint>

namespace orvo {

extern const fx::EffectOps fluorescentOps;

namespace {

const char* const kViews[] = {"Output", "Original"};
enum View : int32_t { Output = 0, Original = 1, ViewCount };

struct Fluorescent : fx::Effect {
    enum : int { Input = 0, ViewParam, Temperature, Count };

    Fluorescent() : Effect(&fluorescentOps)
    {
        table[Input].initInput("background", "Background");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        table[Temperature].initRange("temperature", "Temperature", 0, 20, 0, 0);
        setParameters(table, Count);
    }

    // "Original", or a stored index outside the list: the input unchanged.
    bool original() const { return valueAsInt(ViewParam) != Output; }
};

// c + trunc(f * c), limited to 0..max (a stored negative temperature can push values below 0).
template <class Traits>
inline typename Traits::value_type grow(int64_t c, float f)
{
    const int64_t v = c + fx::truncToInt32(static_cast<double>(f * static_cast<float>(c)));
    return static_cast<typename Traits::value_type>(std::clamp<int64_t>(v, 0, Traits::fullScale));
}

template <class Traits>
void removeGreen(fx::Image& image, const fx::Rect& rect, double x)
{
    using V = typename Traits::value_type;
    const float f = static_cast<float>(x);
    const int64_t k = fx::truncToInt32(x * Traits::fullScale);
    const fx::Rect r{std::max(rect.top, 0), std::max(rect.left, 0), std::min(rect.bottom, image.height),
                     std::min(rect.right, image.width)};
    for (int32_t y = r.top; y < r.bottom; ++y) {
        V* p = image.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(r.left);
        for (int32_t i = r.left; i < r.right; ++i, p += 4) {
            const int64_t g1 = std::max<int64_t>(0, p[1] - k);
            const int64_t b1 = p[2] + k;
            p[0] = grow<Traits>(p[0], f);
            p[1] = grow<Traits>(g1, f);
            p[2] = grow<Traits>(b1, f);
        }
    }
}

const char* title(fx::Effect*) { return "Orvo Fluorescent"; }
const char* description(fx::Effect*)
{
    return "Removes greenish tone caused by photographing under fluorescent lights.";
}

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const Fluorescent&>(e);
    return !self.original() && self.valueAsDouble(Fluorescent::Temperature) != 0;
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<Fluorescent&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    if (self.original() || out->channels != 4 || !out->origin)
        return;
    const double x = self.valueAsDouble(Fluorescent::Temperature) / 100;
    if (x == 0)
        return;
    fx::withChannelTraits(out->sixteenBit(), [&](auto traits) {
        removeGreen<decltype(traits)>(*out, info->renderRect, x);
    });
}

} // namespace

const fx::EffectOps fluorescentOps = {
    fx::createSlot<Fluorescent>, fx::cloneSlot<Fluorescent>, fx::destroySlot<Fluorescent>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, fx::defaults::beginRender, renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
