#pragma once

// Small pieces every effect's render shares.

#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/pixel/Pixel.h"

namespace orvo {

// Starts a tile: in receives the input held by parameter 0 and out the output buffer of the render,
// and the output starts as a copy of the input over the render rectangle. False (both null, nothing
// copied) when the host handed over no images.
inline bool startTile(const fx::Effect& effect, fx::RenderInfo* info, const fx::Image** in, fx::Image** out)
{
    *in = effect.paramCount > 0 ? effect.params[0].input.image : nullptr;
    *out = info ? info->output : nullptr;
    if (!*in || !*out) {
        *in = nullptr;
        *out = nullptr;
        return false;
    }
    imaging::copyRect(**out, **in, info->renderRect);
    return true;
}

} // namespace orvo
