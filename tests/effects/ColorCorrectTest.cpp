#include "effects/OrvoEffects.h"
#include "imaging/color/ColorCorrector.h"
#include "imaging/color/ColorPrimitives.h"
#include "imaging/color/SplineCurve.h"

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/EffectRegistry.h"
#include "framework/Image.h"
#include "framework/RenderLoop.h"
#include "support/TestEffects.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using EffectPtr = std::unique_ptr<fx::Effect, fxtest::EffectDeleter>;

EffectPtr makeColorCorrect()
{
    static fx::EffectRegistry registry = [] {
        fx::EffectRegistry r;
        orvo::registerEffects(r);
        return r;
    }();
    return EffectPtr(registry.createEffect("ColorCorrect"));
}

// Indices in the effect's table: input, view, then the corrector block from 2.
enum : int { View = 1, Block = 2 };
enum : int { Hue = Block + 1, Sat, Bri, Con, Gam, Red, Green, Blue, Flash };
constexpr int rangeBase(int k) { return Block + 13 + 10 * k; }  // Position; then Range, Bri, ..., Blue

void set(fx::Effect& e, int index, double v) { e.parameterAt(index)->range.current = v; }
void setView(fx::Effect& e, int v) { e.parameterAt(View)->list.current = v; }

// A smooth colour field with a grey column and random alpha, in either width.
template <class Traits>
fx::ImageRef makeField(int w, int h)
{
    using V = typename Traits::value_type;
    fx::ImageRef img = fx::makeImage(w, h, 4, Traits::bytes);
    for (int y = 0; y < h; ++y) {
        V* p = img->rowAs<V>(y);
        for (int x = 0; x < w; ++x) {
            const int full = Traits::fullScale;
            p[4 * x + 0] = static_cast<V>(full * x / (w - 1));
            p[4 * x + 1] = static_cast<V>(full * y / (h - 1));
            p[4 * x + 2] = static_cast<V>(full * ((x + 2 * y) % w) / (w - 1));
            p[4 * x + 3] = static_cast<V>((x * 31 + y * 17) % (full + 1));
            if (x == 3)
                p[4 * x + 1] = p[4 * x + 2] = p[4 * x];
        }
    }
    return img;
}

template <class Traits>
fx::ImageRef render(fx::Effect& e, const fx::Image& src, int band = 7)
{
    fx::ImageRef out = fx::makeImage(src.width, src.height, 4, Traits::bytes);
    fx::RenderLoopOptions options;
    options.bandHeight = band;
    EXPECT_TRUE(fx::renderImage(e, src, *out, options));
    return out;
}

bool samePixels(const fx::Image& a, const fx::Image& b)
{
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.width) * a.bytesPerPixel) != 0)
            return false;
    return true;
}

template <class T>
class ColorCorrectEffect : public ::testing::Test {};
using Widths = ::testing::Types<fx::Channel8, fx::Channel16>;
TYPED_TEST_SUITE(ColorCorrectEffect, Widths);

} // namespace

TEST(ColorCorrectEffectTable, IdentityAndParameters)
{
    EffectPtr e = makeColorCorrect();
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->ops->title(e.get()), "Orvo Color Correct");
    EXPECT_STREQ(e->ops->description(e.get()), "Color correction");
    ASSERT_EQ(e->parameterCount(), 44);
    EXPECT_STREQ(e->parameterAt(0)->key, "input");
    EXPECT_EQ(e->parameterAt(0)->kind, fx::ParamKind::Input);
    const fx::Parameter& view = *e->parameterAt(View);
    EXPECT_STREQ(view.key, "view");
    EXPECT_STREQ(view.label, "View");
    ASSERT_EQ(view.list.count, 5);
    const char* items[] = {"Output", "Shadows", "Midtones", "Highlights", "Original"};
    for (int i = 0; i < 5; ++i)
        EXPECT_STREQ(view.list.items[i], items[i]);
    EXPECT_STREQ(e->parameterAt(Block)->key, "ccMaster");
    EXPECT_STREQ(e->parameterAt(Block + 41)->key, nullptr);  // the last group's end
    EXPECT_STREQ(e->parameterAt(rangeBase(2))->key, "ccHighPos");
    EXPECT_EQ(e->parameterAt(43)->index, 43);
}

TYPED_TEST(ColorCorrectEffect, NeutralAndOriginalAreInactiveCopies)
{
    using T = TypeParam;
    EffectPtr e = makeColorCorrect();
    fx::ImageRef src = makeField<T>(23, 19);
    fx::ImageRef out = render<T>(*e, *src);
    EXPECT_FALSE(e->ops->isActive(*e));
    EXPECT_TRUE(samePixels(*out, *src));

    set(*e, Bri, 40);
    setView(*e, 4);  // "Original"
    out = render<T>(*e, *src);
    EXPECT_FALSE(e->ops->isActive(*e));
    EXPECT_TRUE(samePixels(*out, *src));
    setView(*e, 17);  // a stored index beyond the list shows the original too
    out = render<T>(*e, *src);
    EXPECT_TRUE(samePixels(*out, *src));
}

// The banded render equals one pass of the corrector over the whole image, alpha untouched.
TYPED_TEST(ColorCorrectEffect, OutputMatchesCorrectorOverWholeImage)
{
    using T = TypeParam;
    using V = typename T::value_type;
    EffectPtr e = makeColorCorrect();
    set(*e, Hue, -40);
    set(*e, Sat, 30);
    set(*e, Con, 15);
    set(*e, Red, 10);
    set(*e, rangeBase(0) + 2, -20);  // shadows brightness
    set(*e, rangeBase(1) + 7, 25);   // midtones green
    set(*e, rangeBase(2) + 4, 50);   // highlights gamma
    fx::ImageRef src = makeField<T>(41, 29);
    fx::ImageRef out = render<T>(*e, *src);
    EXPECT_TRUE(e->ops->isActive(*e));

    imaging::ColorCorrector cc;
    cc.update(e->parameterAt(Block), imaging::ColorCorrector::FullParameterCount, T::sixteenBit);
    fx::ImageRef expect = fx::makeImage(src->width, src->height, 4, T::bytes);
    expect->copyPixels(*src);
    cc.applyRect(*expect, {0, 0, src->height, src->width});
    EXPECT_TRUE(samePixels(*out, *expect));
    EXPECT_FALSE(samePixels(*out, *src));
    for (int y = 0; y < src->height; ++y)
        for (int x = 0; x < src->width; ++x)
            ASSERT_EQ(out->rowAs<V>(y)[4 * x + 3], src->rowAs<V>(y)[4 * x + 3]);

    // A clone renders the same.
    EffectPtr copy(e->ops->clone(*e));
    fx::ImageRef again = render<T>(*copy, *src, 64);
    EXPECT_TRUE(samePixels(*again, *expect));
}

TYPED_TEST(ColorCorrectEffect, RangeViewsShowWeightsEvenWhenNeutral)
{
    using T = TypeParam;
    using V = typename T::value_type;
    EffectPtr e = makeColorCorrect();
    fx::ImageRef src = makeField<T>(17, 13);
    for (int view = 1; view <= 3; ++view) {
        setView(*e, view);
        fx::ImageRef out = render<T>(*e, *src, 5);
        EXPECT_TRUE(e->ops->isActive(*e));
        static const double pos[3] = {0.0, 0.5, 1.0}, rng[3] = {0.8, 0.4, 0.8};
        std::vector<V> w(T::tableSize);
        imaging::buildRangeWeightTable<T>(w.data(), static_cast<float>(pos[view - 1]),
                                          static_cast<float>(rng[view - 1]));
        for (int y = 0; y < src->height; ++y)
            for (int x = 0; x < src->width; ++x) {
                const V* in = src->rowAs<V>(y) + 4 * x;
                const V* o = out->rowAs<V>(y) + 4 * x;
                const V grey = w[imaging::luma<T>(in[0], in[1], in[2])];
                ASSERT_EQ(o[0], grey) << view;
                ASSERT_EQ(o[1], grey);
                ASSERT_EQ(o[2], grey);
                ASSERT_EQ(o[3], in[3]);  // the corrector's range view keeps alpha
            }
    }
}

// Tone, gain and range settings give the same picture in both widths: the 8-bit input's half-level
// quantisation, magnified by the steepest part of the curve (about 2.5 here), bounds the difference.
TEST(ColorCorrectEffectWidths, EightAndSixteenBitAgree)
{
    EffectPtr e = makeColorCorrect();
    set(*e, Bri, 12);
    set(*e, Con, 20);
    set(*e, Gam, -30);
    set(*e, Blue, -15);
    set(*e, rangeBase(1) + 5, 20);  // midtones red
    fx::ImageRef src8 = makeField<fx::Channel8>(31, 11);
    fx::ImageRef src16 = fx::makeImage(31, 11, 4, 2);
    for (int y = 0; y < 11; ++y)
        for (int i = 0; i < 4 * 31; ++i)
            src16->rowAs<uint16_t>(y)[i] = static_cast<uint16_t>((src8->row(y)[i] * 32768 + 127) / 255);
    fx::ImageRef out8 = render<fx::Channel8>(*e, *src8);
    fx::ImageRef out16 = render<fx::Channel16>(*e, *src16);
    int worst = 0;
    for (int y = 0; y < 11; ++y)
        for (int i = 0; i < 4 * 31; ++i) {
            const double scaled = out16->rowAs<uint16_t>(y)[i] * 255.0 / 32768;
            worst = std::max(worst, static_cast<int>(std::abs(scaled - out8->row(y)[i]) + 0.5));
        }
    EXPECT_LE(worst, 3);
}
