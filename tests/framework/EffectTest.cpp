#include "framework/Effect.h"
#include "framework/EffectRegistry.h"
#include "framework/Image.h"

#include "support/TestEffects.h"

#include <gtest/gtest.h>

#include <memory>

using fxtest::EffectDeleter;
using fxtest::InvertEffect;
using EffectPtr = std::unique_ptr<fx::Effect, EffectDeleter>;

namespace {

TEST(EffectRegistry, ExactNameLookupInRegistrationOrder)
{
    fx::EffectRegistry registry;
    EXPECT_STREQ(registry.registerEffect("BlackMist", &InvertEffect::ops), "BlackMist");
    registry.registerEffect("Large", &fxtest::LargeEffect::ops);
    registry.registerEffect("BlackMist", &fxtest::ShiftUpEffect::ops);  // a duplicate never wins
    EXPECT_EQ(registry.count(), 3);

    EXPECT_EQ(registry.createEffect("blackmist"), nullptr);
    EXPECT_EQ(registry.createEffect("BlackMis"), nullptr);
    EXPECT_EQ(registry.createEffect(nullptr), nullptr);
    EffectPtr a(registry.createEffect("BlackMist"));
    EffectPtr b(registry.createEffect("BlackMist"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->ops, &InvertEffect::ops);

    // The registry grows past any fixed capacity.
    for (int i = 0; i < 300; ++i)
        registry.registerEffect("Filler", &InvertEffect::ops);
    EffectPtr large(registry.createEffect("Large"));
    EXPECT_EQ(large->parameterCount(), fxtest::LargeEffect::Count);
}

TEST(Effect, HeaderAndSharedSlots)
{
    EffectPtr e(InvertEffect::ops.create());
    EXPECT_EQ(e->flags, 0x2020u);
    EXPECT_EQ(e->params, e->table);
    EXPECT_EQ(e->parameterCount(), InvertEffect::Count);
    EXPECT_EQ(e->inputCount, 1);
    for (int i = 0; i < e->parameterCount(); ++i)
        EXPECT_EQ(e->parameterAt(i)->index, i);
    EXPECT_EQ(e->table[InvertEffect::Count].kind, fx::ParamKind::Empty);  // unused records stay empty

    EXPECT_STREQ(e->ops->vendorName(e.get()), "Tessmark");
    EXPECT_STREQ(e->ops->productTitle(e.get()), "QEV Orvo v5");
    EXPECT_STREQ(e->ops->productKey(e.get()), "Orvo v5 PS");
    EXPECT_STREQ(e->ops->description(e.get()), "");
    int major = -1, minor = -1, patch = -1;
    e->ops->version(e.get(), &major, &minor, &patch);
    EXPECT_EQ((std::tuple{major, minor, patch}), (std::tuple{5, 0, 0}));
    e->setFlagBits(0x10000);
    EXPECT_EQ(e->flags, 0x12020u);
}

TEST(Effect, PointAndColourAccess)
{
    EffectPtr holder(InvertEffect::ops.create());
    fx::Effect& e = *holder;
    auto& pt = e.parameterAt(InvertEffect::Center)->point;

    struct { double x, y; int w, h; fx::Point expect; } points[] = {
        {0, 0, 400, 300, {200, 150}},
        {-0.5, -0.5, 400, 300, {0, 0}},
        {0.5, 0.5, 400, 300, {400, 300}},
        {0.25, -0.1, 101, 33, {75, 13}},
        {1e30, -1e30, 10, 10, {INT32_MAX, INT32_MIN}},  // stored garbage stays defined
    };
    for (const auto& c : points) {
        pt.current[0] = c.x;
        pt.current[1] = c.y;
        EXPECT_EQ(e.pointInPixels(InvertEffect::Center, c.w, c.h), c.expect) << c.x << "," << c.y;
    }
    EXPECT_EQ(e.pointValue(InvertEffect::Center).x, 1e30);

    auto& col = e.parameterAt(InvertEffect::Tint)->color;
    struct { double r, g, b; fx::Color8 c8; fx::Color16 c16; } colours[] = {
        {1, 1, 1, {255, 255, 255, 255}, {32768, 32768, 32768, 32768}},
        {0, 0.5, 0.999, {0, 127, 254, 255}, {0, 16384, 32735, 32768}},
        {2.0, -1.0, 0.1, {255, 0, 25, 255}, {32768, 0, 3276, 32768}},  // out of range: clamped
    };
    for (const auto& c : colours) {
        col.current[0] = c.r;
        col.current[1] = c.g;
        col.current[2] = c.b;
        const fx::Color8 c8 = e.color8(InvertEffect::Tint);
        const fx::Color16 c16 = e.color16(InvertEffect::Tint);
        EXPECT_EQ((std::tuple{c8.r, c8.g, c8.b, c8.a}), (std::tuple{c.c8.r, c.c8.g, c.c8.b, c.c8.a}));
        EXPECT_EQ((std::tuple{c16.r, c16.g, c16.b, c16.a}), (std::tuple{c.c16.r, c.c16.g, c.c16.b, c.c16.a}));
    }
    EXPECT_EQ(e.colorValue(InvertEffect::Tint).g, -1.0);
}

TEST(Effect, InputImageHandsOutAReference)
{
    EffectPtr e(InvertEffect::ops.create());
    EXPECT_EQ(e->inputImage(0), nullptr);
    fx::ImageRef image(fx::Image::create(2, 2, 4, 1));
    e->params[0].input.image = image.get();
    fx::Image* got = e->inputImage(0);
    EXPECT_EQ(got, image.get());
    EXPECT_EQ(image->refCount, 2);
    got->release();
    e->params[0].input.image = nullptr;
}

TEST(Effect, CloneCopiesValuesIntoItsOwnTable)
{
    EffectPtr src(InvertEffect::ops.create());
    src->params[InvertEffect::Amount].range.current = 12.5;
    src->params[InvertEffect::Texture].setImagePath("grain.png");
    src->setFlagBits(0x8);
    EffectPtr copy(src->ops->clone(*src));
    EXPECT_EQ(copy->params, copy->table);
    EXPECT_EQ(copy->flags, src->flags);
    EXPECT_EQ(copy->valueAsDouble(InvertEffect::Amount), 12.5);
    EXPECT_STREQ(copy->imageFilePath(InvertEffect::Texture), "grain.png");
    EXPECT_NE(copy->imageFilePath(InvertEffect::Texture), src->imageFilePath(InvertEffect::Texture));

    // An effect with its own larger array: the clone points at its own copy of the array.
    EffectPtr large(fxtest::LargeEffect::ops.create());
    large->params[5].range.current = 99;
    EffectPtr largeCopy(large->ops->clone(*large));
    auto& lc = static_cast<fxtest::LargeEffect&>(*largeCopy);
    EXPECT_EQ(largeCopy->params, lc.own);
    EXPECT_EQ(largeCopy->parameterCount(), fxtest::LargeEffect::Count);
    EXPECT_EQ(largeCopy->valueAsDouble(5), 99);
    EXPECT_STREQ(largeCopy->params[fxtest::LargeEffect::Count - 1].key, "last");

    InvertEffect::ops.destroy(nullptr);  // a null instance is ignored
}

} // namespace
