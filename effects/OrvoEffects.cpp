#include "effects/OrvoEffects.h"

#include "framework/Effect.h"
#include "framework/EffectRegistry.h"

namespace orvo {

// Each effect's source file defines its entry table.
// extern const fx::EffectOps fastBlurOps;   (one line per effect, in registration order)
extern const fx::EffectOps bleachBypassOps;
extern const fx::EffectOps blackAndWhiteOps;
extern const fx::EffectOps colorCorrectOps;
extern const fx::EffectOps crossProcessingOps;
extern const fx::EffectOps fastBlurOps;
extern const fx::EffectOps fluorescentOps;
extern const fx::EffectOps fStopOps;
extern const fx::EffectOps goldReflectorOps;
extern const fx::EffectOps grainOps;
extern const fx::EffectOps matteGeneratorOps;
extern const fx::EffectOps ozoneOps;
extern const fx::EffectOps printerPointsOps;
extern const fx::EffectOps selectiveSaturationOps;
extern const fx::EffectOps ultraContrastOps;
extern const fx::EffectOps silverReflectorOps;
extern const fx::EffectOps temperatureOps;
extern const fx::EffectOps warmCoolOps;

namespace {
struct Registration {
    const char* name;
    const fx::EffectOps* ops;
};

// In the collection's registration order; keep it sorted exactly as the full list is.
const Registration kEffects[] = {
    {"BleachBypass", &bleachBypassOps},
    {"BlackAndWhite", &blackAndWhiteOps},
    {"ColorCorrect", &colorCorrectOps},
    {"CrossProcessing", &crossProcessingOps},
    {"FastBlur", &fastBlurOps},
    {"Fluorescent", &fluorescentOps},
    {"FStop", &fStopOps},
    {"GoldReflector", &goldReflectorOps},
    {"Grain", &grainOps},
    {"MatteGenerator", &matteGeneratorOps},
    {"Ozone", &ozoneOps},
    {"PrinterPoints", &printerPointsOps},
    {"SelectiveSaturation", &selectiveSaturationOps},
    {"UltraContrast", &ultraContrastOps},
    {"SilverReflector", &silverReflectorOps},
    {"Temperature", &temperatureOps},
    {"WarmCool", &warmCoolOps},
};
} // namespace

void registerEffects(fx::EffectRegistry& registry)
{
    for (const Registration& r : kEffects)
        if (r.name)
            registry.registerEffect(r.name, r.ops);
}

} // namespace orvo
