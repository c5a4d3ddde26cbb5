// "GoldReflector": a gold bounce card, (1.0, 0.5, 0.25) light added to the shadows.

#include "effects/reflectors/Reflector.h"

namespace orvo {

extern const fx::EffectOps goldReflectorOps;

namespace {

struct GoldReflector : Reflector {
    static constexpr double kGold[3] = {1.0, 0.5, 0.25};
    GoldReflector() : Reflector(&goldReflectorOps, kGold) {}
};

const char* title(fx::Effect*) { return "Orvo Gold Reflector"; }

} // namespace

const fx::EffectOps goldReflectorOps = {
    fx::createSlot<GoldReflector>, fx::cloneSlot<GoldReflector>, fx::destroySlot<GoldReflector>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    fx::defaults::description, nullptr, fx::defaults::version, reflectorIsActive, reflectorBeginRender,
    reflectorRenderTile, fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
