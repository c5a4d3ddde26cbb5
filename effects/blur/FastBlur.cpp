// "FastBlur": a plain separable blur of the whole picture, horizontal and vertical amounts in
// thousandths of the image height, the vertical one following the horizontal one while ganged.

#include "effects/EffectSupport.h"
#include "effects/blur/BlurParameters.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/blur/SeparableBlur.h"
#include "imaging/pixel/Pixel.h"

namespace orvo {

extern const fx::EffectOps fastBlurOps;

namespace {

const char* const kViews[] = {"Output", "Original"};
enum View : int32_t { Output = 0, Original = 1, ViewCount };

struct FastBlur : fx::Effect {
    enum : int { Input = 0, ViewParam, BlurX, BlurY, Gang, Count };
    static constexpr BlurTriple kBlur{BlurX};

    // Kept between tiles so that its scratch line is reused.
    imaging::SeparableBlur blur;

    FastBlur() : Effect(&fastBlurOps)
    {
        table[Input].initInput("input", "Input");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        table[BlurX].initRange("blurX", "Horizontal Blur", 0, 1000, 20, 0);
        table[BlurY].initRange("blurY", "Vertical Blur", 0, 1000, 20, 0);
        table[BlurY].setEnabled(false);  // follows the horizontal value while ganged
        table[Gang].initBoolean("gang", "Gang", true);
        table[Gang].orFlags(fx::ParamFlag::NotifyOnChange);
        setParameters(table, Count);
    }

    // "Original", or a stored index outside the list: the input unchanged.
    bool original() const { return valueAsInt(ViewParam) != Output; }
};

const char* title(fx::Effect*) { return "Orvo Fast Blur"; }
const char* description(fx::Effect*) { return "Blur images."; }

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const FastBlur&>(e);
    return !self.original() && FastBlur::kBlur.any(self);
}

void parameterChanged(fx::Effect& e, int index)
{
    FastBlur::kBlur.parameterChanged(e, index);
}

void inputRect(fx::Effect& e, fx::RenderInfo* info, fx::Rect* rect)
{
    growByBlur(rect, FastBlur::kBlur.horizontalPixels(e, *info), FastBlur::kBlur.verticalPixels(e, *info),
               info->passes);
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<FastBlur&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    if (self.original() || !FastBlur::kBlur.any(self))
        return;
    self.blur.setAmounts(FastBlur::kBlur.horizontalPixels(self, *info), FastBlur::kBlur.verticalPixels(self, *info));
    self.blur.setPasses(info->passes);
    self.blur.blurRect(*out, info->renderRect);
}

} // namespace

const fx::EffectOps fastBlurOps = {
    fx::createSlot<FastBlur>, fx::cloneSlot<FastBlur>, fx::destroySlot<FastBlur>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, fx::defaults::beginRender, renderTile,
    parameterChanged, inputRect,
};

} // namespace orvo
