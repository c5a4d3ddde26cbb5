#pragma once

// Running the collection's effects end to end in the effect tests: create by registration name,
// render a whole image band by band as the host does, and build one-row images of given pixels.

#include "effects/OrvoEffects.h"
#include "framework/Effect.h"
#include "framework/EffectRegistry.h"
#include "framework/Image.h"
#include "framework/RenderLoop.h"
#include "imaging/PixelTestImages.h"
#include "support/TestEffects.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <memory>

namespace effecttest {

using EffectPtr = std::unique_ptr<fx::Effect, fxtest::EffectDeleter>;

inline EffectPtr make(const char* name)
{
    static fx::EffectRegistry registry = [] {
        fx::EffectRegistry r;
        orvo::registerEffects(r);
        return r;
    }();
    return EffectPtr(registry.createEffect(name));
}

inline fx::ImageRef render(fx::Effect& e, const fx::Image& source, int band = 3)
{
    fx::ImageRef out = fx::makeImage(source.width, source.height, 4, source.bytesPerChannel);
    fx::RenderLoopOptions options;
    options.bandHeight = band;
    EXPECT_TRUE(fx::renderImage(e, source, *out, options));
    return out;
}

// One row of the given RGBA pixels, levels given in the image's width.
inline fx::ImageRef pixels(int bpc, std::initializer_list<std::array<int, 4>> list)
{
    fx::ImageRef image = fx::makeImage(static_cast<int>(list.size()), 1, 4, bpc);
    int x = 0;
    for (const auto& p : list) {
        for (int c = 0; c < 4; ++c)
            pixeltest::set(*image, x, 0, c, p[c]);
        ++x;
    }
    return image;
}

inline void setValue(fx::Effect& e, int index, double v) { e.parameterAt(index)->range.current = v; }
inline void setList(fx::Effect& e, int index, int v) { e.parameterAt(index)->list.current = v; }

} // namespace effecttest
