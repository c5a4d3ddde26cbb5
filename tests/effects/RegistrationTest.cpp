#include "effects/OrvoEffects.h"

#include "framework/Effect.h"
#include "framework/EffectRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>

namespace {

// The collection's registration names in registration order (the order of the effects' source files).
const char* const kCollectionOrder[] = {
    "BlackMist", "BleachBypass", "BlackAndWhite", "CenterSpot", "ColorCompensating", "ColorConversion",
    "ColorCorrect", "ColorGrad", "ColorTemp", "CrossProcessing", "DayForNight", "Defocus", "Diffusion",
    "DualTint", "Enhancing", "FastBlur", "FauxFilm", "Fluorescent", "Fog", "FStop", "GamCineFilters",
    "GamColor", "GamNakedCosmetics", "Glow", "GoldReflector", "Grain", "Halo", "InfraRed", "LGels",
    "LensDistortion", "Light", "LightBalancing", "LowContrast", "MatteGenerator", "Mist", "MonoTint",
    "NDGrad", "NightVision", "Overexpose", "Ozone", "PhotoFilters", "Polarizer", "PrinterPoints",
    "RoscoCalcolor", "RoscoCinegel", "RoscoCinelux", "RoscoCalvane", "SelectiveColor", "SelectiveFocus",
    "SelectiveSaturation", "UltraContrast", "SilverReflector", "SkinSmoother", "Star", "Streaks",
    "Temperature", "Tint", "SunsetTwilight", "SoftEFX", "Vignette", "WarmCool", "WarmMist",
};

TEST(Registration, BuiltEffectsFollowTheCollectionOrder)
{
    fx::EffectRegistry registry;
    orvo::registerEffects(registry);
    ASSERT_GT(registry.count(), 0);

    // Every registered name is a collection name, once, in the collection's relative order.
    const auto* begin = std::begin(kCollectionOrder);
    const auto* end = std::end(kCollectionOrder);
    std::ptrdiff_t previous = -1;
    std::set<std::string> seen;
    for (int i = 0; i < registry.count(); ++i) {
        const std::string name = registry.at(i).name;
        const auto* at = std::find_if(begin, end, [&](const char* n) { return name == n; });
        ASSERT_NE(at, end) << name << " is not a registration name of the collection";
        EXPECT_GT(at - begin, previous) << name << " is registered out of order";
        previous = at - begin;
        EXPECT_TRUE(seen.insert(name).second) << name << " is registered twice";

        // Each entry creates an instance whose entry table is the registered one.
        fx::Effect* effect = registry.createEffect(name.c_str());
        ASSERT_NE(effect, nullptr) << name;
        EXPECT_EQ(effect->ops, registry.at(i).ops) << name;
        EXPECT_GT(effect->parameterCount(), 0) << name;
        EXPECT_EQ(effect->parameterAt(0)->kind, fx::ParamKind::Input) << name;
        effect->ops->destroy(effect);
    }
}

} // namespace
