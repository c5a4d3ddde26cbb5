#include "imaging/matte/Selection.h"

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/PixelTestImages.h"
#include "imaging/blur/SeparableBlur.h"
#include "imaging/color/ColorPrimitives.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using imaging::ChannelKey;
using imaging::ExtractOn;
using imaging::Selection;
using pixeltest::get;
using pixeltest::set;

template <class Traits>
std::vector<int32_t> tableOf(ChannelKey& key)
{
    const auto* t = key.table<Traits>();
    return std::vector<int32_t>(t, t + Traits::tableSize);
}

template <class T>
struct MatteWidths : ::testing::Test {};
using Widths = ::testing::Types<fx::Channel8, fx::Channel16>;
TYPED_TEST_SUITE(MatteWidths, Widths);

TYPED_TEST(MatteWidths, GlowFamilyDefaultTentIsFullAtWhiteAndReachesTheShadows)
{
    using Traits = TypeParam;
    ChannelKey key;
    key.setCurve(1.0f, 1.6f);
    const std::vector<int32_t> t = tableOf<Traits>(key);
    EXPECT_EQ(t[Traits::fullScale], Traits::fullScale);
    EXPECT_GT(t[0], 0) << "the tent's lower zero lies at -0.6, below black";
    for (int32_t i = 1; i <= Traits::fullScale; ++i)
        ASSERT_GE(t[i], t[i - 1]) << "decreases towards the shadows, at " << i;
}

TYPED_TEST(MatteWidths, ClipSixtySixtyIsAHardThreshold)
{
    using Traits = TypeParam;
    constexpr int32_t full = Traits::fullScale;
    // black is limited to 1 - 0.6 in single precision (0.39999998): 8-bit lo 101, hi 102.
    const int32_t lastDark = Traits::sixteenBit ? 13107 : 101;
    ChannelKey key;
    key.setCurve(1.0f, 1.6f);  // rises gently across the whole range: every level from T[0] up occurs
    const std::vector<int32_t> unclipped = tableOf<Traits>(key);
    key.setClip(0.6f, 0.6f);
    const std::vector<int32_t> clipped = tableOf<Traits>(key);
    bool sawDark = false, sawBright = false;
    for (int32_t i = 0; i <= full; ++i) {
        ASSERT_EQ(clipped[i], unclipped[i] <= lastDark ? 0 : full) << i;
        sawDark |= unclipped[i] == lastDark;
        sawBright |= unclipped[i] == lastDark + 1;
    }
    EXPECT_TRUE(sawDark && sawBright) << "the curve passes through both sides of the threshold";
}

TYPED_TEST(MatteWidths, ZeroRangeKeepsOnlyTheLevelAtThePosition)
{
    using Traits = TypeParam;
    constexpr int32_t full = Traits::fullScale;
    ChannelKey key;
    key.setCurve(0.5f, 0.0f);
    const std::vector<int32_t> t = tableOf<Traits>(key);
    const int32_t at = Traits::sixteenBit ? 16384 : 128;
    for (int32_t i = 0; i <= full; ++i)
        ASSERT_EQ(t[i], i == at ? full : 0) << i;
    // A curve at a position outside the channel range keeps nothing.
    key.setCurve(1.5f, 0.0f);
    for (int32_t v : tableOf<Traits>(key))
        ASSERT_EQ(v, 0);
}

TYPED_TEST(MatteWidths, HueKeyOnGreyIsAllZero)
{
    using Traits = TypeParam;
    fx::ImageRef grey = fx::makeImage(16, 4, 4, Traits::bytes);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x)
            for (int c = 0; c < 4; ++c)
                set(*grey, x, y, c, x * Traits::fullScale / 15);
    ChannelKey key;
    key.setCurve(0.0f, 1.6f);  // full weight at index 0: a table lookup of hue 0 would show
    fx::ImageRef matte = fx::makeImage(16, 4, 1, Traits::bytes);
    imaging::extractMatte(*grey, *matte, {0, 0, 4, 16}, static_cast<int32_t>(ExtractOn::Hue), key);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(get(*matte, x, y, 0), 0) << x;
}

TEST(Matte, ExtractionIndexPerChannel)
{
    // (200, 100, 50): luminance 124, hue 20 degrees, saturation 0.75, average 116, cyan 75,
    // magenta 125, yellow 150.
    const int32_t expected[imaging::kExtractOnCount] = {124, 14, 191, 116, 200, 100, 50, 75, 125, 150};
    fx::ImageRef source = fx::makeImage(1, 1, 4, 1);
    const int32_t rgba[4] = {200, 100, 50, 255};
    for (int c = 0; c < 4; ++c)
        set(*source, 0, 0, c, rgba[c]);
    ChannelKey key;
    key.setCurve(0.4f, 0.6f);
    const std::vector<int32_t> t = tableOf<fx::Channel8>(key);
    fx::ImageRef matte = fx::makeImage(1, 1, 1, 1);
    for (int32_t on = 0; on < imaging::kExtractOnCount; ++on) {
        imaging::extractMatte(*source, *matte, {0, 0, 1, 1}, on, key);
        EXPECT_EQ(get(*matte, 0, 0, 0), t[expected[on]]) << imaging::kExtractOnLabels[on];
    }
}

TEST(Matte, ShrinkRemovesASinglePixelAndGrowWeighsTheOuterTap)
{
    for (int bpc : {1, 2}) {
        const int32_t full = pixeltest::fullScale(bpc);
        fx::ImageRef dot = pixeltest::constant(9, 9, 1, bpc, 0);
        set(*dot, 4, 4, 0, full);
        fx::ImageRef shrunk = pixeltest::copyOf(*dot);
        imaging::shrinkGrowMatte(*shrunk, {0, 0, 9, 9}, -1.5, 1.0f, 1.0f);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(get(*shrunk, x, y, 0), 0) << x << "," << y;

        // Grow 1.5: r = 2 with the outer tap at half weight; vertical first, then horizontal.
        fx::ImageRef grown = pixeltest::copyOf(*dot);
        imaging::shrinkGrowMatte(*grown, {0, 0, 9, 9}, 1.5, 1.0f, 1.0f);
        const int32_t half = full / 2;  // trunc(0.5 * full)
        const int32_t row4[9] = {0, 0, half, full, full, full, half, 0, 0};
        const int32_t row2[9] = {0, 0, half / 2, half, half, half, half / 2, 0, 0};
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(get(*grown, x, 4, 0), row4[x]) << x;
            EXPECT_EQ(get(*grown, x, 2, 0), row2[x]) << x;
            EXPECT_EQ(get(*grown, x, 0, 0), 0) << x;
        }
    }
}

struct TestRenderInfo : fx::HostRenderInfo {
    TestRenderInfo(int32_t w, int32_t h, bool sixteen)
    {
        imageWidth = w;
        imageHeight = h;
        sixteenBit = sixteen ? 1 : 0;
    }
};

TEST(Selection, DefinesItsTwelveParametersWithPrefixAndDefaults)
{
    Selection s;
    s.setPosition(1.0f);
    s.setRange(1.6f);
    fx::Parameter p[12];
    s.defineSelectionParameters(p, 12, "sel");
    const struct {
        const char* key;
        const char* label;
        fx::ParamKind kind;
        double minimum, maximum, value;
    } expected[12] = {
        {"selextractOn", "Extract On", fx::ParamKind::List, 0, 0, 0},
        {"selposition", "Position", fx::ParamKind::Range, 0, 100, 100},
        {"selrange", "Range", fx::ParamKind::Range, 0, 100, 80},
        {"selclip", "Clip", fx::ParamKind::GroupBegin, 0, 0, 0},
        {"selclipBlack", "Clip Black", fx::ParamKind::Range, 0, 100, 0},
        {"selclipWhite", "Clip White", fx::ParamKind::Range, 0, 100, 0},
        {nullptr, nullptr, fx::ParamKind::GroupEnd, 0, 0, 0},
        {"selmatteAdjust", "Shrink/Grow", fx::ParamKind::Range, -50, 50, 0},
        {"selmatteBlurX", "Horizontal Blur", fx::ParamKind::Range, 0, 500, 0},
        {"selmatteBlurY", "Vertical Blur", fx::ParamKind::Range, 0, 500, 0},
        {"selmatteBlurGang", "Gang Blur", fx::ParamKind::Boolean, 0, 0, 1},
        {"selinvert", "Invert", fx::ParamKind::Boolean, 0, 0, 0},
    };
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p[i].kind, expected[i].kind);
        if (expected[i].key) {
            EXPECT_STREQ(p[i].key, expected[i].key);
            EXPECT_STREQ(p[i].label, expected[i].label);
        }
        if (p[i].kind == fx::ParamKind::Range) {
            EXPECT_EQ(p[i].range.minimum, expected[i].minimum);
            EXPECT_EQ(p[i].range.maximum, expected[i].maximum);
            EXPECT_EQ(p[i].range.defaultValue, expected[i].value);
            EXPECT_EQ(p[i].range.current, expected[i].value);
        } else if (p[i].kind == fx::ParamKind::Boolean) {
            EXPECT_EQ(p[i].boolean.current, expected[i].value);
        }
    }
    EXPECT_EQ(p[0].list.count, 10);
    EXPECT_STREQ(p[0].list.items[9], "Yellow");
    EXPECT_TRUE(p[0].flags & 0x4);
    EXPECT_TRUE(p[10].flags & fx::ParamFlag::NotifyOnChange);
    EXPECT_FALSE(p[9].enabled()) << "follows the horizontal blur while ganged";

    fx::Parameter unprefixed[12];
    s.defineSelectionParameters(unprefixed, 12);
    EXPECT_STREQ(unprefixed[7].key, "matteAdjust");
    EXPECT_THROW(s.defineSelectionParameters(unprefixed, 11), std::invalid_argument);
}

TEST(Selection, GangRuleEnablesTheVerticalBlur)
{
    struct Owner : fx::Effect {
        Owner() : Effect(nullptr)
        {
            table[0].initInput("input", "Input");
            Selection().defineSelectionParameters(table + 2, 12);
            setParameters(table, 14);
        }
    } owner;
    fx::Parameter& gang = *owner.parameterAt(2 + Selection::GangParam);
    fx::Parameter& vertical = *owner.parameterAt(2 + Selection::BlurYParam);
    gang.boolean.current = 0;
    Selection::parameterChanged(owner, 2, 2 + Selection::GangParam);
    EXPECT_TRUE(vertical.enabled());
    gang.boolean.current = 1;
    Selection::parameterChanged(owner, 2, 2 + Selection::BlurXParam);
    EXPECT_TRUE(vertical.enabled()) << "only the gang's own change counts";
    Selection::parameterChanged(owner, 2, 2 + Selection::GangParam);
    EXPECT_FALSE(vertical.enabled());
}

TEST(Selection, UpdateFromParametersReadsScaledValuesAndReportsChanges)
{
    Selection s;
    fx::Parameter p[12];
    s.defineSelectionParameters(p, 12);
    TestRenderInfo info(8, 8, false);
    EXPECT_FALSE(s.updateFromParameters(p, info)) << "the defaults are the selection's own values";
    p[Selection::PositionParam].range.current = 100;
    p[Selection::RangeParam].range.current = 80;
    p[Selection::AdjustParam].range.current = -1.5;
    p[Selection::InvertParam].boolean.current = 1;
    EXPECT_TRUE(s.updateFromParameters(p, info));
    EXPECT_EQ(s.position(), 1.0f);
    EXPECT_EQ(s.range(), 1.6f);
    EXPECT_EQ(s.adjust(), -1.5);
    EXPECT_TRUE(s.invert());
    EXPECT_FALSE(s.updateFromParameters(p, info));

    // The key follows: the table is the tent at (1, 1.6).
    ChannelKey reference;
    reference.setCurve(1.0f, 1.6f);
    EXPECT_EQ(tableOf<fx::Channel8>(s.key), tableOf<fx::Channel8>(reference));

    // Clip values are percentages.
    p[Selection::ClipBlackParam].range.current = 60;
    p[Selection::ClipWhiteParam].range.current = 60;
    EXPECT_TRUE(s.updateFromParameters(p, info));
    for (int32_t v : tableOf<fx::Channel16>(s.key))
        ASSERT_TRUE(v == 0 || v == 32768) << v;
}

TEST(Selection, BuildMatteRunsExtractionShrinkBlurAndInvert)
{
    for (bool sixteen : {false, true}) {
        const int bpc = sixteen ? 2 : 1;
        const int32_t full = pixeltest::fullScale(bpc);
        fx::ImageRef source = pixeltest::noise(40, 30, 4, bpc, 7);
        TestRenderInfo info(40, 30, sixteen);
        const fx::Rect all{0, 0, 30, 40};

        Selection plain;
        plain.setPosition(1.0f);
        plain.setRange(1.6f);
        fx::ImageRef extracted = plain.buildMatte(*source, all, info);
        ASSERT_EQ(extracted->channels, 1);
        ASSERT_EQ(extracted->bytesPerChannel, bpc);
        const std::vector<int32_t> t = sixteen ? tableOf<fx::Channel16>(plain.key) : tableOf<fx::Channel8>(plain.key);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const int32_t r = get(*source, x, y, 0), g = get(*source, x, y, 1), b = get(*source, x, y, 2);
                const int32_t l = sixteen ? imaging::luma16(r, g, b) : imaging::luma8(r, g, b);
                ASSERT_EQ(get(*extracted, x, y, 0), t[l]);
            }

        Selection inverted = plain;
        inverted.setInvert(true);
        fx::ImageRef inv = inverted.buildMatte(*source, all, info);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(get(*inv, x, y, 0), full - get(*extracted, x, y, 0));

        // A blur of 100 thousandths of 30 rows is 3 pixels each way, run after the extraction.
        Selection soft = plain;
        soft.setBlur(100);
        fx::ImageRef blurred = soft.buildMatte(*source, all, info);
        EXPECT_FALSE(pixeltest::samePixels(*blurred, *extracted));
        imaging::SeparableBlur reference;
        reference.setAmounts(3.0f, 3.0f);
        reference.setPasses(info.passes);
        reference.blurRect(*extracted, all);
        EXPECT_TRUE(pixeltest::samePixels(*blurred, *extracted));
    }
}

TEST(Selection, KeptExtractionIsReusedOnlyAfterTheFirstFrame)
{
    fx::ImageRef dark = pixeltest::constant(8, 8, 4, 1, 0);
    fx::ImageRef light = pixeltest::constant(8, 8, 4, 1, 255);
    TestRenderInfo info(8, 8, false);
    const fx::Rect all{0, 0, 8, 8};
    Selection s;
    s.setPosition(1.0f);
    s.setRange(1.6f);
    s.setReuse(true, false);
    const int32_t fromDark = get(*s.buildMatte(*dark, all, info), 0, 0, 0);
    const int32_t fromLight = get(*s.buildMatte(*light, all, info), 0, 0, 0);
    EXPECT_NE(fromDark, fromLight) << "frame 0 always extracts";
    info.frame = 1;
    EXPECT_EQ(get(*s.buildMatte(*dark, all, info), 0, 0, 0), fromLight) << "later frames reuse the kept copy";
    s.setPosition(0.9f);
    EXPECT_NE(get(*s.buildMatte(*dark, all, info), 0, 0, 0), fromLight) << "a change discards it";
}

} // namespace
