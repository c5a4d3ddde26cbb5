#include "effects/OrvoEffects.h"
#include "imaging/pixel/Pixel.h"

#include "framework/Effect.h"
#include "framework/EffectRegistry.h"
#include "framework/Image.h"
#include "framework/RenderLoop.h"
#include "imaging/PixelTestImages.h"
#include "support/TestEffects.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using EffectPtr = std::unique_ptr<fx::Effect, fxtest::EffectDeleter>;
using pixeltest::get;
using pixeltest::set;
enum : int { Input = 0, View, Temperature };

EffectPtr make(const char* name)
{
    static fx::EffectRegistry registry = [] {
        fx::EffectRegistry r;
        orvo::registerEffects(r);
        return r;
    }();
    return EffectPtr(registry.createEffect(name));
}

fx::ImageRef render(fx::Effect& e, const fx::Image& source)
{
    fx::ImageRef out = fx::makeImage(source.width, source.height, 4, source.bytesPerChannel);
    fx::RenderLoopOptions options;
    options.bandHeight = 3;
    EXPECT_TRUE(fx::renderImage(e, source, *out, options));
    return out;
}

// One row of given pixels in either width (values given in that width).
fx::ImageRef pixels(int bpc, std::initializer_list<std::array<int, 4>> list)
{
    fx::ImageRef image = fx::makeImage(static_cast<int>(list.size()), 1, 4, bpc);
    int x = 0;
    for (const auto& p : list) {
        for (int c = 0; c < 4; ++c)
            set(*image, x, 0, c, p[c]);
        ++x;
    }
    return image;
}

// The same picture in 8 and 16 bits (16-bit levels widened from the 8-bit ones).
struct PicturePair {
    fx::ImageRef eight = pixeltest::noise(24, 10, 4, 1, 31);
    fx::ImageRef sixteen = fx::makeImage(24, 10, 4, 2);
    PicturePair()
    {
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 24; ++x)
                for (int c = 0; c < 4; ++c)
                    set(*sixteen, x, y, c, imaging::widen8to16(get(*eight, x, y, c)));
    }
    // Every channel of the 16-bit result, narrowed to 8 bits, within `levels` of the 8-bit result.
    void expectAgreement(fx::Effect& e, double levels) const
    {
        fx::ImageRef out8 = render(e, *eight);
        fx::ImageRef out16 = render(e, *sixteen);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 24; ++x)
                for (int c = 0; c < 4; ++c) {
                    const double narrowed = get(*out16, x, y, c) * 255.0 / 32768.0;
                    ASSERT_LE(std::abs(narrowed - get(*out8, x, y, c)), levels) << x << "," << y << "," << c;
                }
    }
};

TEST(WarmCoolEffect, ParametersAndActivity)
{
    EffectPtr e = make("WarmCool");
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->ops->title(e.get()), "Orvo Warm/Cool");
    EXPECT_STREQ(e->ops->description(e.get()), "Adjusts the color temperature.");
    ASSERT_EQ(e->parameterCount(), 3);
    EXPECT_STREQ(e->parameterAt(Input)->key, "background");
    EXPECT_STREQ(e->parameterAt(View)->key, "view");
    EXPECT_STREQ(e->parameterAt(Temperature)->key, "temperature");
    EXPECT_STREQ(e->parameterAt(Temperature)->label, "Temperature");
    EXPECT_EQ(e->parameterAt(Temperature)->range.minimum, -100);
    EXPECT_EQ(e->parameterAt(Temperature)->range.maximum, 100);
    EXPECT_FALSE(e->ops->isActive(*e));

    fx::ImageRef source = pixeltest::noise(9, 7, 4, 2, 2);
    EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source), *source));
    e->parameterAt(Temperature)->range.current = 40;
    EXPECT_TRUE(e->ops->isActive(*e));
    e->parameterAt(View)->list.current = 1;
    EXPECT_FALSE(e->ops->isActive(*e));
}

TEST(WarmCoolEffect, FullWarmAndFullCool)
{
    for (int bpc : {1, 2}) {
        const int full = pixeltest::fullScale(bpc);
        fx::ImageRef source = pixels(bpc, {{100, 60, 100, 7}, {full, 1, full / 2 + 3, 7}});
        EffectPtr e = make("WarmCool");
        e->parameterAt(Temperature)->range.current = 100;
        fx::ImageRef warm = render(*e, *source);
        EXPECT_EQ(get(*warm, 0, 0, 0), 0);
        EXPECT_EQ(get(*warm, 0, 0, 1), 60);
        EXPECT_EQ(get(*warm, 0, 0, 2), 200);
        EXPECT_EQ(get(*warm, 1, 0, 2), full);  // doubled, clamped
        EXPECT_EQ(get(*warm, 0, 0, 3), 7);
        e->parameterAt(Temperature)->range.current = -100;
        fx::ImageRef cool = render(*e, *source);
        EXPECT_EQ(get(*cool, 0, 0, 0), 200);
        EXPECT_EQ(get(*cool, 1, 0, 0), full);
        EXPECT_EQ(get(*cool, 0, 0, 2), 0);
    }
}

TEST(WarmCoolEffect, EightAndSixteenBitAgree)
{
    EffectPtr e = make("WarmCool");
    e->parameterAt(Temperature)->range.current = 37;
    PicturePair().expectAgreement(*e, 1.0);
    e->parameterAt(Temperature)->range.current = -63;
    PicturePair().expectAgreement(*e, 1.0);
}

TEST(FluorescentEffect, ParametersAndActivity)
{
    EffectPtr e = make("Fluorescent");
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->ops->title(e.get()), "Orvo Fluorescent");
    EXPECT_STREQ(e->ops->description(e.get()),
                 "Removes greenish tone caused by photographing under fluorescent lights.");
    ASSERT_EQ(e->parameterCount(), 3);
    EXPECT_STREQ(e->parameterAt(Input)->key, "background");
    EXPECT_EQ(e->parameterAt(Temperature)->range.minimum, 0);
    EXPECT_EQ(e->parameterAt(Temperature)->range.maximum, 20);
    EXPECT_EQ(e->parameterAt(Temperature)->range.defaultValue, 0);
    EXPECT_FALSE(e->ops->isActive(*e));
    fx::ImageRef source = pixeltest::noise(9, 7, 4, 1, 2);
    EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source), *source));
}

// Temperature 10: k = trunc(0.1 * max) is taken from green and given to blue, then every colour
// channel grows by a tenth of itself (truncated), limited to the channel range.
TEST(FluorescentEffect, RemovesGreen)
{
    EffectPtr e = make("Fluorescent");
    e->parameterAt(Temperature)->range.current = 10;

    fx::ImageRef out8 = render(*e, *pixels(1, {{100, 100, 100, 9}, {250, 10, 250, 9}}));
    const int expect8[2][4] = {{110, 82, 137, 9}, {255, 0, 255, 9}};  // k = 25
    fx::ImageRef out16 = render(*e, *pixels(2, {{12800, 12800, 12800, 9}, {32000, 100, 32000, 9}}));
    const int expect16[2][4] = {{14080, 10476, 17683, 9}, {32768, 0, 32768, 9}};  // k = 3276
    for (int x = 0; x < 2; ++x)
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(get(*out8, x, 0, c), expect8[x][c]) << x << "," << c;
            EXPECT_EQ(get(*out16, x, 0, c), expect16[x][c]) << x << "," << c;
        }

    e->parameterAt(Temperature)->range.current = 17;
    PicturePair().expectAgreement(*e, 1.5);
}

// A stored temperature outside the slider's range (negative, or huge) stays within the channels.
TEST(FluorescentEffect, OutOfRangeStoredValuesStayInRange)
{
    for (double t : {-50.0, -1e12, 1e12}) {
        EffectPtr e = make("Fluorescent");
        e->parameterAt(Temperature)->range.current = t;
        for (int bpc : {1, 2}) {
            fx::ImageRef out = render(*e, *pixeltest::noise(8, 4, 4, bpc, 6));
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 8; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const int v = get(*out, x, y, c);
                        ASSERT_TRUE(v >= 0 && v <= pixeltest::fullScale(bpc)) << t << " " << v;
                    }
        }
    }
}

} // namespace
