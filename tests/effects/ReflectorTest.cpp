#include "effects/EffectTestSupport.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "imaging/PixelTestImages.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>

namespace {

using effecttest::EffectPtr;
using effecttest::make;
using effecttest::setValue;
using pixeltest::get;
using pixeltest::set;

// Reflector parameters.
enum : int { Input = 0, View, Brightness, Color, Position, Range };
// Matte generator parameters: the selection group starts at 2.
enum : int { ExtractOn = 2, MPosition, MRange, ClipGroup, ClipBlack, ClipWhite, ClipEnd, Adjust, BlurX, BlurY, Gang, Invert };

// The whole image as one band unless told otherwise.
fx::ImageRef render(fx::Effect& e, const fx::Image& source, int bandHeight = 1 << 20)
{
    return effecttest::render(e, source, bandHeight);
}

// A picture of one row per listed pixel colour, each repeated across `width` columns.
fx::ImageRef stripes(int bpc, std::initializer_list<std::array<int32_t, 3>> colours, int width = 4)
{
    fx::ImageRef image = fx::makeImage(width, static_cast<int>(colours.size()), 4, bpc);
    int y = 0;
    for (const auto& rgb : colours) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c)
                set(*image, x, y, c, rgb[c]);
            set(*image, x, y, 3, 99);
        }
        ++y;
    }
    return image;
}

TEST(Reflectors, ParametersTitlesAndRegistration)
{
    const struct {
        const char* name;
        const char* title;
        double colour[3];
    } reflectors[] = {
        {"GoldReflector", "Orvo Gold Reflector", {1.0, 0.5, 0.25}},
        {"SilverReflector", "Orvo Silver Reflector", {1, 1, 1}},
    };
    for (const auto& r : reflectors) {
        SCOPED_TRACE(r.name);
        EffectPtr e = make(r.name);
        ASSERT_TRUE(e);
        EXPECT_STREQ(e->ops->title(e.get()), r.title);
        EXPECT_STREQ(e->ops->description(e.get()), "");
        ASSERT_EQ(e->parameterCount(), 6);
        const struct { const char* key; const char* label; double minimum, maximum, value; } ranges[] = {
            {"brightness", "Brightness", 0, 500, 50}, {"position", "Position", 0, 100, 0}, {"range", "Range", 0, 100, 80}};
        const int rangeIndex[] = {Brightness, Position, Range};
        for (int i = 0; i < 3; ++i) {
            const fx::Parameter& p = *e->parameterAt(rangeIndex[i]);
            EXPECT_STREQ(p.key, ranges[i].key);
            EXPECT_STREQ(p.label, ranges[i].label);
            EXPECT_EQ(p.range.minimum, ranges[i].minimum);
            EXPECT_EQ(p.range.maximum, ranges[i].maximum);
            EXPECT_EQ(p.range.defaultValue, ranges[i].value);
        }
        EXPECT_STREQ(e->parameterAt(Input)->key, "background");
        EXPECT_STREQ(e->parameterAt(View)->key, "view");
        EXPECT_EQ(e->parameterAt(View)->list.count, 3);
        EXPECT_STREQ(e->parameterAt(View)->list.items[1], "Selection");
        EXPECT_STREQ(e->parameterAt(Color)->key, "color");
        const fx::ColorD c = e->colorValue(Color);
        EXPECT_EQ(c.r, r.colour[0]);
        EXPECT_EQ(c.g, r.colour[1]);
        EXPECT_EQ(c.b, r.colour[2]);
    }
}

TEST(Reflectors, GoldLiftsShadowsTowardsOrangeAndKeepsBlack)
{
    for (int bpc : {1, 2}) {
        const int32_t full = pixeltest::fullScale(bpc);
        const int32_t dark = full / 5;
        const fx::ImageRef source = stripes(bpc, {{0, 0, 0}, {dark, dark, dark}, {full, full, full}});
        EffectPtr gold = make("GoldReflector");
        ASSERT_TRUE(gold->ops->isActive(*gold));
        const fx::ImageRef out = render(*gold, *source);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(get(*out, 1, 0, c), get(*source, 1, 0, c)) << "black stays black";
        const int32_t r = get(*out, 1, 1, 0), g = get(*out, 1, 1, 1), b = get(*out, 1, 1, 2);
        EXPECT_GT(r, g);
        EXPECT_GT(g, b);
        EXPECT_GT(b, dark);
        EXPECT_EQ(get(*out, 1, 1, 3), 99) << "alpha is the input's";
        EXPECT_EQ(get(*out, 1, 2, 0), full) << "white stays white";
    }
}

TEST(Reflectors, BrightnessZeroAndOriginalAreInactive)
{
    const fx::ImageRef source = pixeltest::noise(12, 9, 4, 1, 21);
    for (const char* name : {"GoldReflector", "SilverReflector"}) {
        EffectPtr e = make(name);
        setValue(*e, Brightness, 0);
        EXPECT_FALSE(e->ops->isActive(*e));
        EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source), *source));
        setValue(*e, Brightness, 50);
        e->parameterAt(View)->list.current = 2;
        EXPECT_FALSE(e->ops->isActive(*e));
        EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source), *source));
        e->parameterAt(View)->list.current = 9;  // a stored index outside the list
        EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source), *source));
    }
}

// Position 20 with range 0 keys exactly the luminance level 0.2 (51 of 255, 6554 of 32768) at full
// weight: those pixels double at brightness 100, up to the clamp; all others stay.
TEST(Reflectors, SilverAtHundredDoublesUnderAFullMatte)
{
    const struct {
        int bpc;
        std::array<int32_t, 3> grey, red, other;
        std::array<int32_t, 3> greyOut, redOut;
    } cases[] = {
        {1, {51, 51, 51}, {172, 0, 0}, {90, 90, 90}, {102, 102, 102}, {255, 0, 0}},
        {2, {6554, 6554, 6554}, {21919, 0, 0}, {9000, 9000, 9000}, {13108, 13108, 13108}, {32768, 0, 0}},
    };
    for (const auto& c : cases) {
        const fx::ImageRef source = stripes(c.bpc, {c.grey, c.red, c.other});
        EffectPtr silver = make("SilverReflector");
        setValue(*silver, Brightness, 100);
        setValue(*silver, Position, 20);
        setValue(*silver, Range, 0);
        const fx::ImageRef out = render(*silver, *source);
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_EQ(get(*out, 2, 0, ch), c.greyOut[ch]) << c.bpc;
            EXPECT_EQ(get(*out, 2, 1, ch), c.redOut[ch]) << c.bpc;
            EXPECT_EQ(get(*out, 2, 2, ch), c.other[ch]) << c.bpc;
        }

        // The "Selection" view shows that matte as grey with a full alpha.
        silver->parameterAt(View)->list.current = 1;
        const fx::ImageRef matte = render(*silver, *source);
        const int32_t full = pixeltest::fullScale(c.bpc);
        const int32_t expected[3] = {full, full, 0};
        for (int y = 0; y < 3; ++y)
            for (int ch = 0; ch < 4; ++ch)
                EXPECT_EQ(get(*matte, 0, y, ch), ch == 3 ? full : expected[y]) << c.bpc << " row " << y;
    }
}

TEST(MatteGenerator, ParametersAndGangRule)
{
    EffectPtr e = make("MatteGenerator");
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->ops->title(e.get()), "Orvo Selection");
    EXPECT_STREQ(e->ops->description(e.get()), "Extract a matte");
    ASSERT_EQ(e->parameterCount(), 14);
    EXPECT_STREQ(e->parameterAt(Input)->key, "matte");
    EXPECT_STREQ(e->parameterAt(Input)->label, "Selection");
    EXPECT_TRUE(e->parameterAt(View)->flags & 0x4);
    EXPECT_EQ(e->parameterAt(View)->list.count, 3);
    const struct { int index; const char* key; double value; } defaults[] = {
        {MPosition, "position", 100}, {MRange, "range", 80}, {ClipBlack, "clipBlack", 0}, {ClipWhite, "clipWhite", 0},
        {Adjust, "matteAdjust", 0}, {BlurX, "matteBlurX", 0}, {BlurY, "matteBlurY", 0}};
    for (const auto& d : defaults) {
        EXPECT_STREQ(e->parameterAt(d.index)->key, d.key);
        EXPECT_EQ(e->parameterAt(d.index)->range.defaultValue, d.value) << d.key;
    }
    EXPECT_EQ(e->valueAsInt(ExtractOn), 0);
    EXPECT_EQ(e->valueAsBool(Gang), 1);
    EXPECT_EQ(e->valueAsBool(Invert), 0);
    EXPECT_TRUE(e->ops->isActive(*e));

    e->parameterAt(Gang)->boolean.current = 0;
    e->ops->parameterChanged(*e, Gang);
    EXPECT_TRUE(e->parameterAt(BlurY)->enabled());
    e->parameterAt(Gang)->boolean.current = 1;
    e->ops->parameterChanged(*e, Gang);
    EXPECT_FALSE(e->parameterAt(BlurY)->enabled());
}

TEST(MatteGenerator, InvertShowsTheInvertedTentAndViewsAgree)
{
    for (int bpc : {1, 2}) {
        const int32_t full = pixeltest::fullScale(bpc);
        const fx::ImageRef source = pixeltest::noise(20, 14, 4, bpc, 31);
        EffectPtr e = make("MatteGenerator");
        const fx::ImageRef plain = render(*e, *source);
        e->parameterAt(View)->list.current = 1;
        EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source), *plain)) << "Output and Selection both show the matte";
        e->parameterAt(View)->list.current = 0;
        e->parameterAt(Invert)->boolean.current = 1;
        const fx::ImageRef inverted = render(*e, *source);
        bool varied = false;
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 20; ++x) {
                const int32_t m = get(*plain, x, y, 0);
                varied |= m != get(*plain, 0, 0, 0);
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(get(*plain, x, y, c), m);
                    ASSERT_EQ(get(*inverted, x, y, c), full - m);
                }
                ASSERT_EQ(get(*plain, x, y, 3), full);
                ASSERT_EQ(get(*inverted, x, y, 3), full);
            }
        EXPECT_TRUE(varied);
        e->parameterAt(View)->list.current = 2;
        EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source), *source));
    }
}

// Shrink/grow and blur reach across band borders: the input rect grows by their reach, so bands join
// without seams.
TEST(MatteGenerator, BandsJoinWithoutSeams)
{
    const struct { double adjust, blurX, blurY; bool gang; } cases[] = {
        {-2.5, 40, 0, true}, {3.0, 0, 0, true}, {0, 25, 60, false}, {1.5, 30, 10, false}};
    for (int bpc : {1, 2}) {
        const fx::ImageRef source = pixeltest::noise(48, 100, 4, bpc, 41);
        for (const auto& c : cases) {
            EffectPtr e = make("MatteGenerator");
            setValue(*e, Adjust, c.adjust);
            setValue(*e, BlurX, c.blurX);
            setValue(*e, BlurY, c.blurY);
            e->parameterAt(Gang)->boolean.current = c.gang ? 1 : 0;
            const fx::ImageRef whole = render(*e, *source);
            const fx::ImageRef banded = render(*e, *source, 7);
            EXPECT_TRUE(pixeltest::samePixels(*whole, *banded))
                << bpc << "-bit adjust " << c.adjust << " blur " << c.blurX << "/" << c.blurY;
        }
    }
}

} // namespace
