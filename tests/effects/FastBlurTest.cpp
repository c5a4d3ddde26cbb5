#include "effects/OrvoEffects.h"
#include "imaging/blur/SeparableBlur.h"
#include "imaging/pixel/Pixel.h"

#include "framework/Effect.h"
#include "framework/EffectRegistry.h"
#include "framework/Image.h"
#include "framework/RenderLoop.h"
#include "imaging/PixelTestImages.h"
#include "support/TestEffects.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using EffectPtr = std::unique_ptr<fx::Effect, fxtest::EffectDeleter>;
enum : int { Input = 0, View, BlurX, BlurY, Gang };

EffectPtr makeFastBlur()
{
    static fx::EffectRegistry registry = [] {
        fx::EffectRegistry r;
        orvo::registerEffects(r);
        return r;
    }();
    return EffectPtr(registry.createEffect("FastBlur"));
}

void setValue(fx::Effect& e, int index, double v) { e.parameterAt(index)->range.current = v; }

fx::ImageRef render(fx::Effect& e, const fx::Image& source, int bandHeight)
{
    fx::ImageRef out = fx::makeImage(source.width, source.height, 4, source.bytesPerChannel);
    fx::RenderLoopOptions options;
    options.bandHeight = bandHeight;
    EXPECT_TRUE(fx::renderImage(e, source, *out, options));
    return out;
}

TEST(FastBlurEffect, ParametersAndGangRule)
{
    EffectPtr e = makeFastBlur();
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->ops->title(e.get()), "Orvo Fast Blur");
    EXPECT_STREQ(e->ops->description(e.get()), "Blur images.");
    ASSERT_EQ(e->parameterCount(), 5);
    const struct { const char* key; const char* label; } names[] = {
        {"input", "Input"}, {"view", "View"}, {"blurX", "Horizontal Blur"}, {"blurY", "Vertical Blur"}, {"gang", "Gang"}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(e->parameterAt(i)->key, names[i].key);
        EXPECT_STREQ(e->parameterAt(i)->label, names[i].label);
    }
    EXPECT_EQ(e->parameterAt(View)->list.count, 2);
    EXPECT_STREQ(e->parameterAt(View)->list.items[1], "Original");
    for (int i : {BlurX, BlurY}) {
        EXPECT_EQ(e->parameterAt(i)->range.minimum, 0);
        EXPECT_EQ(e->parameterAt(i)->range.maximum, 1000);
        EXPECT_EQ(e->parameterAt(i)->range.defaultValue, 20);
    }
    EXPECT_TRUE(e->parameterAt(BlurX)->enabled());
    EXPECT_FALSE(e->parameterAt(BlurY)->enabled()) << "created disabled: ganged by default";
    EXPECT_EQ(e->valueAsBool(Gang), 1);
    EXPECT_TRUE(e->parameterAt(Gang)->flags & fx::ParamFlag::NotifyOnChange);

    e->parameterAt(Gang)->boolean.current = 0;
    e->ops->parameterChanged(*e, Gang);
    EXPECT_TRUE(e->parameterAt(BlurY)->enabled());
    setValue(*e, BlurX, 70);
    e->ops->parameterChanged(*e, BlurX);
    EXPECT_EQ(e->valueAsDouble(BlurY), 20) << "not ganged: the vertical value stays";

    e->parameterAt(Gang)->boolean.current = 1;
    e->ops->parameterChanged(*e, Gang);
    EXPECT_FALSE(e->parameterAt(BlurY)->enabled());
    e->parameterAt(BlurY)->flags &= ~fx::ParamFlag::Dirty;
    e->ops->parameterChanged(*e, BlurX);
    EXPECT_EQ(e->valueAsDouble(BlurY), 70);
    EXPECT_TRUE(e->parameterAt(BlurY)->flags & fx::ParamFlag::Dirty);
}

TEST(FastBlurEffect, InactiveSettingsKeepTheInput)
{
    EffectPtr e = makeFastBlur();
    fx::ImageRef source = pixeltest::noise(20, 12, 4, 1, 4);
    setValue(*e, BlurX, 0);
    setValue(*e, BlurY, 50);  // ignored while ganged
    EXPECT_FALSE(e->ops->isActive(*e));
    EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source, 256), *source));

    setValue(*e, BlurX, 50);
    e->parameterAt(View)->list.current = 1;  // "Original"
    EXPECT_FALSE(e->ops->isActive(*e));
    e->parameterAt(View)->list.current = 5;  // a stored index outside the list shows the input
    EXPECT_FALSE(e->ops->isActive(*e));
    EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source, 256), *source));
    e->parameterAt(View)->list.current = 0;
    EXPECT_TRUE(e->ops->isActive(*e));
}

// One tile: the effect is the separable blur of the whole picture by the converted amounts
// (thousandths of the image height) with the host's two passes; all four channels are blurred.
TEST(FastBlurEffect, RendersTheBlurOfTheConvertedAmounts)
{
    for (int bpc : {1, 2}) {
        EffectPtr e = makeFastBlur();
        fx::ImageRef source = pixeltest::noise(48, 100, 4, bpc, 8);
        e->parameterAt(Gang)->boolean.current = 0;
        setValue(*e, BlurX, 50);  // 5 pixels on a 100-row image
        setValue(*e, BlurY, 33);  // 3.3 pixels
        fx::ImageRef actual = render(*e, *source, 1000);

        fx::ImageRef expected = pixeltest::copyOf(*source);
        imaging::SeparableBlur blur;
        blur.setAmounts(static_cast<float>(100 * 50 * 0.001), static_cast<float>(100 * 33 * 0.001));
        blur.setPasses(1);
        blur.blurRect(*expected, {0, 0, 100, 48});
        EXPECT_TRUE(pixeltest::samePixels(*actual, *expected)) << "bpc " << bpc;
    }
}

// Bands of a few rows, each grown by the blur's border, give exactly the one-tile picture, for whole
// and fractional half amounts, as long as no band is so short that it limits the radius.
TEST(FastBlurEffect, BandsJoinWithoutSeams)
{
    struct Case { double horizontal, vertical; bool gang; };
    const Case cases[] = {{50, 50, true}, {35, 35, true}, {12, 41, false}, {0, 28, false}, {8.4, 0, false}};
    for (int bpc : {1, 2})
        for (const Case& c : cases) {
            EffectPtr e = makeFastBlur();
            e->parameterAt(Gang)->boolean.current = c.gang;
            setValue(*e, BlurX, c.horizontal);
            setValue(*e, BlurY, c.vertical);
            fx::ImageRef source = pixeltest::noise(40, 120, 4, bpc, 17);
            fx::ImageRef whole = render(*e, *source, 1000);
            for (int band : {15, 8, 40})
                EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source, band), *whole))
                    << "bpc " << bpc << " amounts " << c.horizontal << "," << c.vertical << " band " << band;
        }
}

// The same picture in 8 and 16 bits blurs to about the same levels: each of the four box passes
// truncates in 8 bits, so the 8-bit result may lie up to four levels lower.
TEST(FastBlurEffect, EightAndSixteenBitAgree)
{
    fx::ImageRef source8 = pixeltest::noise(30, 60, 4, 1, 23);
    fx::ImageRef source16 = fx::makeImage(30, 60, 4, 2);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 30; ++x)
            for (int c = 0; c < 4; ++c)
                pixeltest::set(*source16, x, y, c, imaging::widen8to16(pixeltest::get(*source8, x, y, c)));
    EffectPtr e = makeFastBlur();
    setValue(*e, BlurX, 75);
    fx::ImageRef out8 = render(*e, *source8, 16);
    fx::ImageRef out16 = render(*e, *source16, 16);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 30; ++x)
            for (int c = 0; c < 4; ++c) {
                const double narrowed = pixeltest::get(*out16, x, y, c) * 255.0 / 32768.0;
                const double diff = narrowed - pixeltest::get(*out8, x, y, c);
                ASSERT_LT(std::abs(diff), 4.0) << x << "," << y << "," << c << ": " << diff;
            }
}

} // namespace
