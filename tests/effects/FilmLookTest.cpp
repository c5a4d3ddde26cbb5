// The film-look effects end to end: BlackAndWhite (and the shared black-and-white conversion),
// BleachBypass and CrossProcessing.

#include "EffectTestSupport.h"

#include "imaging/color/BlackAndWhite.h"
#include "imaging/color/ColorCorrector.h"
#include "imaging/pixel/Pixel.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace effecttest;
using pixeltest::get;
using pixeltest::samePixels;

TEST(FilmLookTables, IdentityAndParameters)
{
    struct Case {
        const char* name;
        const char* title;
        const char* description;
        std::vector<const char*> keys;
    };
    const Case cases[] = {
        {"BlackAndWhite", "Orvo Black and White", "Creates the effect of a Night Vision lens.",
         {"background", "view", "filter", "brightness", "contrast", "gamma"}},
        {"BleachBypass", "Orvo Bleach Bypass", "Tint a gradiated portion of the image.",
         {"background", "view", "amount", "saturation", "contrast", "temperature"}},
        {"CrossProcessing", "Orvo Cross Processing", "Tint a gradiated portion of the image.",
         {"background", "view", "mode", "amount"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EffectPtr e = make(c.name);
        ASSERT_TRUE(e);
        EXPECT_STREQ(e->ops->title(e.get()), c.title);
        EXPECT_STREQ(e->ops->description(e.get()), c.description);
        ASSERT_EQ(e->parameterCount(), static_cast<int>(c.keys.size()));
        for (int i = 0; i < e->parameterCount(); ++i)
            EXPECT_STREQ(e->parameterAt(i)->key, c.keys[i]);
        EXPECT_EQ(e->parameterAt(1)->list.count, 2);
        EXPECT_STREQ(e->parameterAt(1)->list.items[1], "Original");
    }
    EffectPtr bw = make("BlackAndWhite");
    EXPECT_EQ(bw->parameterAt(2)->list.count, 6);
    EXPECT_STREQ(bw->parameterAt(2)->list.items[5], "Orange");
    EffectPtr cross = make("CrossProcessing");
    EXPECT_EQ(cross->parameterAt(2)->list.defaultIndex, 1);
    EXPECT_STREQ(cross->parameterAt(2)->list.items[0], "Print to Slide");
    EXPECT_TRUE(cross->parameterAt(3)->flags & 0x4000u);
    EXPECT_EQ(cross->parameterAt(3)->range.defaultValue, 100);
}

// The grey value of each taking filter; Yellow and Orange on white stay below full scale (their
// weights sum to less than it), so nothing clamps there.
TEST(BlackAndWhiteEffect, Filters)
{
    struct Case {
        int bpc;
        int filter;
        std::array<int, 3> in;
        int grey;
    };
    const Case cases[] = {
        {1, 0, {255, 255, 255}, 255},    {1, 0, {200, 10, 10}, 67},      {1, 1, {200, 10, 10}, 200},
        {1, 2, {10, 200, 30}, 200},      {1, 3, {10, 20, 230}, 230},     {1, 4, {255, 255, 255}, 239},
        {1, 5, {255, 255, 255}, 240},    {1, 4, {200, 100, 0}, 125},     {1, 5, {200, 100, 0}, 142},
        {1, 9, {200, 10, 10}, 67},  // a stored index beyond the list converts as "Normal"
        {2, 0, {32768, 32768, 32768}, 32768}, {2, 1, {25700, 1285, 1285}, 25700},
        {2, 4, {32768, 32768, 32768}, 30774}, {2, 5, {32768, 32768, 32768}, 31064},
        {2, 0, {65535, 65535, 65535}, 32768},  // levels above full scale read as full scale
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpc << " bytes, filter " << c.filter << ", " << c.in[0]);
        fx::ImageRef src = pixels(c.bpc, {{c.in[0], c.in[1], c.in[2], 77}});
        EffectPtr e = make("BlackAndWhite");
        setList(*e, 2, c.filter);
        fx::ImageRef out = render(*e, *src);
        EXPECT_TRUE(e->ops->isActive(*e));
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(get(*out, 0, 0, ch), c.grey) << ch;
        EXPECT_EQ(get(*out, 0, 0, 3), 77);
    }
}

TEST(BlackAndWhiteEffect, ToneAfterConversionAndOriginalView)
{
    fx::ImageRef src = pixeltest::noise(13, 6, 4, 1, 3);
    EffectPtr e = make("BlackAndWhite");
    setValue(*e, 4, 100);  // contrast +100: a threshold at half scale
    fx::ImageRef out = render(*e, *src);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 13; ++x) {
            const int v = get(*out, x, y, 0);
            EXPECT_TRUE(v == 0 || v == 255);
            EXPECT_EQ(get(*out, x, y, 1), v);
        }
    setList(*e, 1, 1);
    EXPECT_FALSE(e->ops->isActive(*e));
}

TEST(BleachBypassEffect, AmountZeroOnlyShiftsWarmCool)
{
    for (int bpc : {1, 2}) {
        fx::ImageRef src = pixeltest::noise(17, 7, 4, bpc, 9);
        EffectPtr e = make("BleachBypass");
        setValue(*e, 2, 0);
        EXPECT_FALSE(e->ops->isActive(*e));
        setValue(*e, 3, 60);  // saturation and contrast do nothing at Amount 0
        setValue(*e, 4, 40);
        setValue(*e, 5, 20);
        EXPECT_TRUE(e->ops->isActive(*e));
        fx::ImageRef out = render(*e, *src);
        fx::ImageRef expect = pixeltest::copyOf(*src);
        imaging::warmCoolShift(*expect, {0, 0, 7, 17}, 0.2f);
        EXPECT_TRUE(samePixels(*out, *expect)) << bpc;
    }
}

// Grey pixels at full Amount: the overlay of a grey with itself, mixed by Amount.
TEST(BleachBypassEffect, OverlayOfGreys)
{
    struct Case {
        int bpc;
        double amount;
        int level;
        int expect;
    };
    const Case cases[] = {
        {1, 100, 100, 78},  {1, 100, 200, 232},  {1, 50, 100, 89},  {1, 100, 0, 0},  {1, 100, 255, 255},
        {2, 100, 8192, 4096}, {2, 100, 16384, 16384}, {2, 100, 32768, 32768},
    };
    for (const Case& c : cases) {
        fx::ImageRef src = pixels(c.bpc, {{c.level, c.level, c.level, 33}});
        EffectPtr e = make("BleachBypass");
        setValue(*e, 2, c.amount);
        fx::ImageRef out = render(*e, *src);
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(get(*out, 0, 0, ch), c.expect) << c.bpc << " " << c.amount << " " << c.level;
        EXPECT_EQ(get(*out, 0, 0, 3), 33);
    }
    // Saturation -100 makes the overlaid colour grey before the overlay: a colour pixel comes out grey.
    fx::ImageRef colour = pixels(1, {{200, 100, 50, 255}});
    EffectPtr e = make("BleachBypass");
    setValue(*e, 3, -100);
    fx::ImageRef out = render(*e, *colour);
    EXPECT_EQ(get(*out, 0, 0, 0), get(*out, 0, 0, 1));
    EXPECT_EQ(get(*out, 0, 0, 0), get(*out, 0, 0, 2));
}

// The overlay written out from its definition: base b (the input), blend v (the corrected value).
int overlayReference(int bpc, int b, int v)
{
    if (bpc == 1)
        return b < 128 ? 2 * v * b / 255 : 255 - (511 - 2 * b) * (255 - v) / 255;
    return b <= 0x3FFF ? 2 * b * v / 32768 : 32768 - 2 * (32768 - v) * (32768 - b) / 32768;
}

// Each output pixel is the overlay of the input with its own corrected value, mixed with the
// corrected value by Amount; A stays the input's.
TEST(CrossProcessingEffect, OverlayOfInputWithCorrectedSelf)
{
    struct Case {
        int mode;
        double amount;
        float saturation, gamma, red, blue;  // the corrector recipe at this amount
    };
    const Case cases[] = {
        {1, 100, 0, 0.70f, -0.50f, 1.00f},
        {0, 100, 20, 0.10f, -0.70f, 0.20f},
        {0, 50, 20 * 0.5f, 0.10f * 0.5f, -0.70f * 0.5f, 0.20f * 0.5f},
    };
    for (int bpc : {1, 2}) {
        const int full = pixeltest::fullScale(bpc);
        fx::ImageRef src = pixeltest::noise(21, 6, 4, bpc, 17);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << bpc << " bytes, mode " << c.mode << ", amount " << c.amount);
            EffectPtr e = make("CrossProcessing");
            setList(*e, 2, c.mode);
            setValue(*e, 3, c.amount);
            fx::ImageRef out = render(*e, *src);
            EXPECT_TRUE(e->ops->isActive(*e));

            imaging::ColorCorrector cc;
            cc.setAll(0, c.saturation, 0, 0, c.gamma, c.red, 0, c.blue, bpc == 2);
            fx::ImageRef corrected = pixeltest::copyOf(*src);
            cc.applyRect(*corrected, {0, 0, 6, 21});
            const int h = static_cast<int>(c.amount / 100 * full);
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 21; ++x) {
                    for (int ch = 0; ch < 3; ++ch) {
                        const int v = get(*corrected, x, y, ch);
                        const int o = overlayReference(bpc, get(*src, x, y, ch), v);
                        const int expect = h == full ? o : (v * (full - h) + o * h) / full;
                        ASSERT_EQ(get(*out, x, y, ch), expect) << x << "," << y << "," << ch;
                    }
                    ASSERT_EQ(get(*out, x, y, 3), get(*src, x, y, 3));
                }
        }
    }
    EffectPtr e = make("CrossProcessing");
    setValue(*e, 3, 0);
    EXPECT_FALSE(e->ops->isActive(*e));
}

// Levels above 32768 and stored values outside the lists or ranges.
TEST(FilmLookRobustness, InvalidLevelsAndStoredValues)
{
    fx::ImageRef src = pixeltest::constant(5, 4, 4, 2, 65535);
    for (const char* name : {"BlackAndWhite", "BleachBypass", "CrossProcessing"}) {
        EffectPtr e = make(name);
        for (int i = 2; i < e->parameterCount(); ++i) {
            fx::Parameter& p = *e->parameterAt(i);
            if (p.kind == fx::ParamKind::Range)
                p.range.current = -p.range.maximum * 5;
            else if (p.kind == fx::ParamKind::List)
                p.list.current = -3;
        }
        render(*e, *src);
        for (int i = 2; i < e->parameterCount(); ++i)
            if (e->parameterAt(i)->kind == fx::ParamKind::Range)
                e->parameterAt(i)->range.current = e->parameterAt(i)->range.maximum * 5;
        render(*e, *src);
    }
}

} // namespace
