#pragma once

// The glow engine: brightens a picture where a one-channel mask says so, optionally spreading the
// light by blurring and tinting it, screening or adding with a strength that may exceed one full
// application. 8-bit channels hold 0..255, 16-bit channels hold 0..32768.

#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/Rect.h"
#include "framework/RenderInfo.h"

#include <cstdint>

namespace imaging {

// "Subtle": the picture brightens itself where the mask is. "Spread": the masked picture is blurred
// and added back, so light leaves its source.
enum class GlowMode : int32_t { Subtle = 0, Spread = 1 };
inline constexpr const char* const kGlowModeLabels[2] = {"Subtle", "Spread"};
enum class GlowBlend : int32_t { Screen = 0, Add = 1 };
inline constexpr const char* const kGlowBlendLabels[2] = {"Screen", "ADD"};

// A strength split into whole passes and a remainder weight. 8-bit: e = trunc(255 × brightness);
// e >= 256 gives passes = e / 256 and remainder = e % 256, else (0, e); the remainder is out of 255.
// 16-bit: e = trunc(32768 × brightness); e > 32768 gives passes = (e - 32769) / 32769 + 1 and
// remainder = (e - 32769) % 32769, else (0, e); the remainder is out of 32768. Negative or NaN
// brightness counts as 0.
struct GlowStrength {
    int32_t passes = 0;
    int32_t remainder = 0;
};
GlowStrength splitBrightness(double brightness, bool sixteenBit);

// Glows `image` (four-channel) inside rect by `mask` (one-channel, same size and channel width;
// std::invalid_argument otherwise). blurX and blurY are blur amounts in pixels, brightness >= 0 the
// strength (1 = one full screen or add), mode a GlowMode index (anything but 1 is Subtle), blend a
// GlowBlend index (anything but 1 is Screen), color the tint (exactly white uses the untinted
// routines), passes the render's extra blur passes. Alpha is kept. Spread blurs a scratch copy of the
// whole picture, so light from outside rect reaches it; Subtle with blur blurs a copy of the mask.
void applyGlow(fx::Image& image, const fx::Image& mask, const fx::Rect& rect, double blurX, double blurY,
               double brightness, int32_t mode, int32_t blend, const fx::ColorD& color, int32_t passes);

// Where the glow parameter block sits in an effect's table, and how its blur amounts are scaled.
struct GlowParameters {
    // Index of the mode list; blend, brightness (0..800, used × 0.01), horizontal blur, vertical
    // blur, gang and colour follow it in this order.
    int first = 3;
    // Also multiply the converted blur amounts by the render's horizontal and vertical scales (the
    // Glow and Infrared effects do).
    bool scaleByRender = false;
};

// The diffusion family's driver: reads the glow block of `effect`, converts the two blur values with
// unitsToPixelsX / unitsToPixelsY (the vertical one is the horizontal value while ganged) and runs
// applyGlow with the render's pass count.
void glowFromParameters(const fx::Effect& effect, fx::Image& image, const fx::Image& mask, const fx::Rect& rect,
                        const fx::RenderInfo& info, const GlowParameters& block = {});

} // namespace imaging
