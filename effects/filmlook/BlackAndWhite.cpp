// "BlackAndWhite": black-and-white film with a coloured taking filter, then brightness, contrast and
// gamma on the grey image.

#include "effects/EffectSupport.h"
#include "effects/color/ToneEffectSupport.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/color/BlackAndWhite.h"
#include "imaging/pixel/Pixel.h"

namespace orvo {

extern const fx::EffectOps blackAndWhiteOps;

namespace {

const char* const kViews[] = {"Output", "Original"};
enum View : int32_t { Output = 0, Original = 1, ViewCount };

struct BlackAndWhite : fx::Effect {
    enum : int { Input = 0, ViewParam, Filter, Brightness, Contrast, Gamma, Count };

    BlackAndWhite() : Effect(&blackAndWhiteOps)
    {
        table[Input].initInput("background", "Background");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        table[Filter].initList("filter", "Filter", imaging::kBlackAndWhiteFilterLabels,
                               imaging::kBlackAndWhiteFilterCount, 0);
        table[Brightness].initRange("brightness", "Brightness", -100, 100, 0, 0);
        table[Contrast].initRange("contrast", "Contrast", -100, 100, 0, 0);
        table[Gamma].initRange("gamma", "Gamma", -100, 100, 0, 0);
        setParameters(table, Count);
    }

    bool output() const { return valueAsInt(ViewParam) == Output; }
};

const char* title(fx::Effect*) { return "Orvo Black and White"; }
const char* description(fx::Effect*) { return "Creates the effect of a Night Vision lens."; }

bool isActive(const fx::Effect& e) { return static_cast<const BlackAndWhite&>(e).output(); }

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<BlackAndWhite&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    if (!self.output() || out->channels != 4 || !out->origin)
        return;
    imaging::convertToBlackAndWhite(*out, info->renderRect, self.valueAsInt(BlackAndWhite::Filter));
    imaging::toneAdjust(*out, info->renderRect, 0, 0, tone::percent(self, BlackAndWhite::Brightness),
                        tone::percent(self, BlackAndWhite::Contrast), tone::percent(self, BlackAndWhite::Gamma), 0, 0,
                        0, false);
}

} // namespace

const fx::EffectOps blackAndWhiteOps = {
    fx::createSlot<BlackAndWhite>, fx::cloneSlot<BlackAndWhite>, fx::destroySlot<BlackAndWhite>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, fx::defaults::beginRender, renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
