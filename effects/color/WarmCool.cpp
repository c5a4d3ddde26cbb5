// "WarmCool": one slider that trades red for blue. x = Temperature / 100; B is scaled by 1 + x and
// R by 1 - x (warmCoolShift), G and A are kept.

#include "effects/EffectSupport.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/pixel/Pixel.h"

namespace orvo {

extern const fx::EffectOps warmCoolOps;

namespace {

const char* const kViews[] = {"Output", "Original"};
enum View : int32_t { Output = 0, Original = 1, ViewCount };

struct WarmCool : fx::Effect {
    enum : int { Input = 0, ViewParam, Temperature, Count };

    WarmCool() : Effect(&warmCoolOps)
    {
        table[Input].initInput("background", "Background");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        table[Temperature].initRange("temperature", "Temperature", -100, 100, 0, 0);
        setParameters(table, Count);
    }

    // "Original", or a stored index outside the list: the input unchanged.
    bool original() const { return valueAsInt(ViewParam) != Output; }
    // The percentage as a fraction, in single precision.
    float amount() const { return static_cast<float>(valueAsDouble(Temperature)) / 100.0f; }
};

const char* title(fx::Effect*) { return "Orvo Warm/Cool"; }
const char* description(fx::Effect*) { return "Adjusts the color temperature."; }

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const WarmCool&>(e);
    return !self.original() && self.valueAsDouble(WarmCool::Temperature) != 0;
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<WarmCool&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    if (!self.original())
        imaging::warmCoolShift(*out, info->renderRect, self.amount());
}

} // namespace

const fx::EffectOps warmCoolOps = {
    fx::createSlot<WarmCool>, fx::cloneSlot<WarmCool>, fx::destroySlot<WarmCool>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, fx::defaults::beginRender, renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
