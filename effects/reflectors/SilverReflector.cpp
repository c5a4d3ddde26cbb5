// "SilverReflector": a silver bounce card, white light added to the shadows.

#include "effects/reflectors/Reflector.h"

namespace orvo {

extern const fx::EffectOps silverReflectorOps;

namespace {

struct SilverReflector : Reflector {
    static constexpr double kSilver[3] = {1.0, 1.0, 1.0};
    SilverReflector() : Reflector(&silverReflectorOps, kSilver) {}
};

const char* title(fx::Effect*) { return "Orvo Silver Reflector"; }

} // namespace

const fx::EffectOps silverReflectorOps = {
    fx::createSlot<SilverReflector>, fx::cloneSlot<SilverReflector>, fx::destroySlot<SilverReflector>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    fx::defaults::description, nullptr, fx::defaults::version, reflectorIsActive, reflectorBeginRender,
    reflectorRenderTile, fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
