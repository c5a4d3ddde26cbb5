#include "effects/OrvoEffects.h"
#include "imaging/grain/GrainEngine.h"

#include "framework/Effect.h"
#include "framework/EffectRegistry.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "framework/RenderLoop.h"
#include "imaging/PixelTestImages.h"
#include "support/TestEffects.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using EffectPtr = std::unique_ptr<fx::Effect, fxtest::EffectDeleter>;
using pixeltest::get;

enum : int {
    Input = 0, View, Preset, Group, Mono,
    SizeR, SizeG, SizeB, AmountR, AmountG, AmountB, SoftR, SoftG, SoftB,
    RespPos, RespRange, RespMin, GroupEnd, Count
};
constexpr int32_t kPreset5254 = 12;
constexpr int32_t kPresetBigMono = 4;
constexpr int32_t kPresetHeavy = 5;

EffectPtr makeGrain(bool hostCreated = true)
{
    static fx::EffectRegistry registry = [] {
        fx::EffectRegistry r;
        orvo::registerEffects(r);
        return r;
    }();
    EffectPtr e(registry.createEffect("Grain"));
    if (e && hostCreated)
        e->setFlagBits(fx::EffectFlag::HostCreated);
    return e;
}

void setValue(fx::Effect& e, int index, double v) { e.parameterAt(index)->range.current = v; }
void setAll(fx::Effect& e, int first, double v)
{
    for (int c = 0; c < 3; ++c)
        setValue(e, first + c, v);
}

fx::ImageRef render(fx::Effect& e, const fx::Image& source, int bandHeight, float zoom = 1.0f)
{
    fx::ImageRef out = fx::makeImage(source.width, source.height, 4, source.bytesPerChannel);
    fx::RenderLoopOptions options;
    options.bandHeight = bandHeight;
    options.zoom = zoom;
    EXPECT_TRUE(fx::renderImage(e, source, *out, options));
    return out;
}

std::vector<uint8_t> samples(uint32_t seed, std::size_t count)
{
    imaging::GrainRandom random(seed);
    std::vector<uint8_t> out(count);
    random.fill(out.data(), count);
    return out;
}

// Full-response grey: with an amount of 100 an 8-bit channel of 127 becomes its noise sample.
constexpr int32_t kMidGrey8 = 127;

TEST(GrainEffect, Parameters)
{
    EffectPtr e = makeGrain();
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->ops->title(e.get()), "Orvo Grain");
    EXPECT_STREQ(e->ops->description(e.get()), "Add film grain");
    ASSERT_EQ(e->parameterCount(), Count);
    const struct { const char* key; const char* label; fx::ParamKind kind; double min, max, def; } rows[] = {
        {"input", "Input", fx::ParamKind::Input, 0, 0, 0},
        {"view", "View", fx::ParamKind::List, 0, 0, 0},
        {"preset", "Presets", fx::ParamKind::List, 0, 0, 0},
        {"grainGroup", "Grain", fx::ParamKind::GroupBegin, 0, 0, 0},
        {"grainMono", "Monochrome", fx::ParamKind::Boolean, 0, 0, 0},
        {"grainSizeRed", "Red Size", fx::ParamKind::Range, 1, 10, 1},
        {"grainSizeGrn", "Green Size", fx::ParamKind::Range, 1, 10, 1},
        {"grainSizeBlu", "Blue Size", fx::ParamKind::Range, 1, 10, 1},
        {"grainAmountRed", "Red Amount", fx::ParamKind::Range, 0, 100, 25},
        {"grainAmountGrn", "Green Amount", fx::ParamKind::Range, 0, 100, 25},
        {"grainAmountBlu", "Blue Amount", fx::ParamKind::Range, 0, 100, 25},
        {"grainSoftnessRed", "Red Softness", fx::ParamKind::Range, 0, 10, 0},
        {"grainSoftnessGrn", "Green Softness", fx::ParamKind::Range, 0, 10, 0},
        {"grainSoftnessBlu", "Blue Softness", fx::ParamKind::Range, 0, 10, 0},
        {"grainResponsePos", "Response Position", fx::ParamKind::Range, 0, 100, 50},
        {"grainResponseRange", "Response Range", fx::ParamKind::Range, 0, 100, 80},
        {"grainResponseMin", "Response Minimum", fx::ParamKind::Range, 0, 100, 20},
        {nullptr, nullptr, fx::ParamKind::GroupEnd, 0, 0, 0},
    };
    for (int i = 0; i < Count; ++i) {
        const fx::Parameter* p = e->parameterAt(i);
        EXPECT_EQ(p->kind, rows[i].kind) << i;
        if (rows[i].key) {
            EXPECT_STREQ(p->key, rows[i].key);
            EXPECT_STREQ(p->label, rows[i].label);
        }
        if (rows[i].kind == fx::ParamKind::Range) {
            EXPECT_EQ(p->range.minimum, rows[i].min) << i;
            EXPECT_EQ(p->range.maximum, rows[i].max) << i;
            EXPECT_EQ(p->range.defaultValue, rows[i].def) << i;
            EXPECT_EQ((p->flags & fx::ParamFlag::IntegerValued) != 0, i >= SizeR && i <= SizeB) << i;
        }
    }
    EXPECT_EQ(e->parameterAt(Preset)->flags & ~fx::ParamFlag::Initial, 528u);
    EXPECT_TRUE(e->parameterAt(Mono)->flags & fx::ParamFlag::NotifyOnChange);
    EXPECT_TRUE(e->parameterAt(Group)->flags & fx::ParamFlag::GroupState);
    EXPECT_EQ(e->valueAsBool(Mono), 0);

    const fx::ListValue& presets = e->parameterAt(Preset)->list;
    ASSERT_EQ(presets.count, 28);
    EXPECT_EQ(presets.current, 0);
    EXPECT_STREQ(presets.items[0], "Custom");
    EXPECT_STREQ(presets.items[kPresetBigMono], "Big Monochrome");
    EXPECT_STREQ(presets.items[kPreset5254], "5254 100ASA");
    EXPECT_STREQ(presets.items[16], "SFX 200");
    EXPECT_STREQ(presets.items[27], "1600ASA");
    EXPECT_EQ(e->parameterAt(View)->list.count, 2);
    EXPECT_STREQ(e->parameterAt(View)->list.items[1], "Original");
}

// In the host, choosing a preset copies its values into the controls, which stay editable; the
// green and blue controls are disabled while monochrome.
TEST(GrainEffect, PresetsFillTheControlsInTheHost)
{
    EffectPtr e = makeGrain();
    e->parameterAt(Preset)->list.current = kPreset5254;
    for (int i = Mono; i <= SoftB; ++i)
        e->parameterAt(i)->flags &= ~fx::ParamFlag::Dirty;
    e->ops->parameterChanged(*e, Preset);
    const double expected[] = {1, 1, 1, 22, 10, 25, 0.6, 0.6, 0.6};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(e->valueAsDouble(SizeR + i), expected[i]) << i;
        EXPECT_TRUE(e->parameterAt(SizeR + i)->flags & fx::ParamFlag::Dirty) << i;
    }
    EXPECT_EQ(e->valueAsBool(Mono), 0);
    for (int i = Mono; i <= RespMin; ++i)
        EXPECT_TRUE(e->parameterAt(i)->enabled()) << i;

    e->parameterAt(Preset)->list.current = kPresetBigMono;
    e->ops->parameterChanged(*e, Preset);
    EXPECT_EQ(e->valueAsBool(Mono), 1);
    EXPECT_EQ(e->valueAsDouble(SizeR), 1.5);
    EXPECT_EQ(e->valueAsDouble(AmountR), 75);
    for (int i = Mono; i <= RespMin; ++i) {
        const bool greenOrBlue = i == SizeG || i == SizeB || i == AmountG || i == AmountB || i == SoftG || i == SoftB;
        EXPECT_EQ(e->parameterAt(i)->enabled(), !greenOrBlue) << i;
    }
    e->parameterAt(Mono)->boolean.current = 0;
    e->ops->parameterChanged(*e, Mono);
    EXPECT_TRUE(e->parameterAt(SizeG)->enabled());
}

// Outside the host a chosen preset drives the render and every control is disabled; "Custom" (or a
// stored index outside the list) hands control back to the parameters.
TEST(GrainEffect, PresetsDriveTheRenderOutsideTheHost)
{
    EffectPtr e = makeGrain(false);
    setAll(*e, AmountR, 0);
    EXPECT_FALSE(e->ops->isActive(*e));
    e->parameterAt(Preset)->list.current = kPresetHeavy;
    e->ops->parameterChanged(*e, Preset);
    EXPECT_EQ(e->valueAsDouble(AmountR), 0) << "controls keep their values";
    for (int i = Mono; i <= RespMin; ++i)
        EXPECT_FALSE(e->parameterAt(i)->enabled()) << i;
    EXPECT_TRUE(e->ops->isActive(*e));

    const fx::ImageRef source = pixeltest::noise(20, 12, 4, 1, 3);
    EXPECT_FALSE(pixeltest::samePixels(*render(*e, *source, 5), *source));

    e->parameterAt(Preset)->list.current = 99;
    e->ops->parameterChanged(*e, Preset);
    EXPECT_TRUE(e->parameterAt(SizeG)->enabled());
    EXPECT_FALSE(e->ops->isActive(*e));

    // In the host the same choice leaves the parameters in charge until they are copied.
    EffectPtr host = makeGrain();
    setAll(*host, AmountR, 0);
    host->parameterAt(Preset)->list.current = kPresetHeavy;
    EXPECT_FALSE(host->ops->isActive(*host));
}

TEST(GrainEffect, InactiveSettingsLeaveTheImage)
{
    const fx::ImageRef source = pixeltest::noise(17, 9, 4, 2, 8);
    EffectPtr e = makeGrain();
    EXPECT_TRUE(e->ops->isActive(*e));
    setAll(*e, AmountR, 0);
    EXPECT_FALSE(e->ops->isActive(*e));
    EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source, 4), *source));

    EffectPtr original = makeGrain();
    original->parameterAt(View)->list.current = 1;
    EXPECT_FALSE(original->ops->isActive(*original));
    EXPECT_TRUE(pixeltest::samePixels(*render(*original, *source, 4), *source));
}

TEST(GrainEffect, InputRectGrowsByTheLargestCell)
{
    EffectPtr e = makeGrain();
    setValue(*e, SizeR, 1);
    setValue(*e, SizeG, 3);
    setValue(*e, SizeB, 2.5);
    fx::HostRenderInfo info;
    const struct { float sx, sy; int32_t dx, dy; } cases[] = {{1, 1, 3, 3}, {0.5f, 0.25f, 2, 1}};
    for (const auto& c : cases) {
        info.scaleX = c.sx;
        info.scaleY = c.sy;
        fx::Rect r{10, 20, 30, 40};
        e->ops->inputRect(*e, &info, &r);
        EXPECT_EQ(r, (fx::Rect{10 - c.dy, 20 - c.dx, 30 + c.dy, 40 + c.dx}));
    }
    setAll(*e, SizeR, -2);
    fx::Rect r{10, 20, 30, 40};
    e->ops->inputRect(*e, &info, &r);
    EXPECT_EQ(r, (fx::Rect{10, 20, 30, 40})) << "negative sizes count as 0";
}

// The coarse grid spans the whole image: any banding of the render gives the same picture, in
// colour and monochrome, with and without softness, 8- and 16-bit.
TEST(GrainEffect, BandsReproduceTheCoarseGrain)
{
    for (int bpc : {1, 2})
        for (bool mono : {false, true})
            for (double softness : {0.0, 1.5}) {
                const fx::ImageRef source = pixeltest::noise(45, 37, 4, bpc, 11);
                EffectPtr e = makeGrain();
                setAll(*e, SizeR, 3);
                setValue(*e, SizeB, 4);
                setAll(*e, AmountR, 60);
                setAll(*e, SoftR, softness);
                e->parameterAt(Mono)->boolean.current = mono ? 1 : 0;
                const fx::ImageRef whole = render(*e, *source, 1000);
                EXPECT_FALSE(pixeltest::samePixels(*whole, *source));
                for (int band : {1, 5, 16})
                    EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source, band), *whole))
                        << "bpc " << bpc << " mono " << mono << " softness " << softness << " band " << band;
            }
}

// Size 2 uses 2-pixel cells in the final render and fine noise in a preview at zoom 0.5.
TEST(GrainEffect, SizeTwoIsCoarseAtZoomOneAndFineAtZoomHalf)
{
    const int w = 16, h = 10;
    const fx::ImageRef grey = pixeltest::constant(w, h, 4, 1, kMidGrey8);
    EffectPtr e = makeGrain();
    setAll(*e, SizeR, 2);
    setAll(*e, AmountR, 100);

    const fx::ImageRef coarse = render(*e, *grey, 4);
    for (int c = 0; c < 3; ++c) {
        const std::vector<uint8_t> grid = samples(static_cast<uint32_t>(c), (w / 2) * (h / 2));
        for (int j = 0; j < h / 2; ++j)
            for (int i = 0; i < w / 2; ++i)
                ASSERT_EQ(get(*coarse, 2 * i, 2 * j, c), grid[j * (w / 2) + i]) << c << " cell " << i << "," << j;
    }

    const fx::ImageRef fine = render(*e, *grey, 1000, 0.5f);
    for (int c = 0; c < 3; ++c) {
        const std::vector<uint8_t> noise = samples(static_cast<uint32_t>(c), w * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(get(*fine, x, y, c), noise[y * w + x]) << c << " at " << x << "," << y;
    }
}

// Fine noise is seeded per band: one-pixel-high bands get none, other bandings differ from one band.
TEST(GrainEffect, FineGrainFollowsTheBands)
{
    for (int bpc : {1, 2}) {
        const fx::ImageRef source = pixeltest::noise(30, 12, 4, bpc, 21);
        EffectPtr e = makeGrain();
        EXPECT_TRUE(pixeltest::samePixels(*render(*e, *source, 1), *source)) << bpc;
        const fx::ImageRef whole = render(*e, *source, 12);
        EXPECT_FALSE(pixeltest::samePixels(*whole, *source));
        EXPECT_FALSE(pixeltest::samePixels(*render(*e, *source, 4), *whole));
    }
}

} // namespace
