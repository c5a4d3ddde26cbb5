#pragma once

namespace fx { class EffectRegistry; struct EffectOps; }

namespace orvo {

// Registers the collection's effects in their registration order (the order of the effects' source
// files): "BlackMist", "BleachBypass", "BlackAndWhite", ... "WarmMist". Effects not built yet are
// simply absent from the table.
void registerEffects(fx::EffectRegistry& registry);

} // namespace orvo
