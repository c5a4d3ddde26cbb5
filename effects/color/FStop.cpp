// "FStop": red, green and blue exposure in stops (-5..5) for the whole image and for the shadows,
// midtones and highlights, applied in linear light (the exposure engine).

#include "effects/color/Exposure.h"

namespace orvo {

extern const fx::EffectOps fStopOps;

namespace {

struct FStop : ExposureEffect {
    FStop() : ExposureEffect(&fStopOps, {-5, 5, 0, 1.0f}) {}
};

const char* title(fx::Effect*) { return "Orvo F-Stop"; }
const char* description(fx::Effect*) { return "F-Stop adjustments."; }

} // namespace

const fx::EffectOps fStopOps = {
    fx::createSlot<FStop>, fx::cloneSlot<FStop>, fx::destroySlot<FStop>,
    title, exposure::vendorName, exposure::productTitle, exposure::productKey,
    description, nullptr, fx::defaults::version, exposure::isActive, exposure::beginRender,
    exposure::renderTile, exposure::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
