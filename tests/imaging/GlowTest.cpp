#include "imaging/glow/Glow.h"

#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/PixelTestImages.h"
#include "imaging/pixel/Pixel.h"

#include <gtest/gtest.h>

namespace {

using imaging::applyGlow;
using pixeltest::get;
using pixeltest::set;

constexpr int32_t Subtle = 0, Spread = 1, Screen = 0, Add = 1;
const fx::ColorD kWhite{1, 1, 1};

// A one-pixel picture (r, g, b, alpha 77) with a one-pixel mask t.
struct OnePixel {
    fx::ImageRef image;
    fx::ImageRef mask;
    OnePixel(int bpc, int32_t r, int32_t g, int32_t b, int32_t t)
        : image(fx::makeImage(1, 1, 4, bpc)), mask(fx::makeImage(1, 1, 1, bpc))
    {
        const int32_t v[4] = {r, g, b, 77};
        for (int c = 0; c < 4; ++c)
            set(*image, 0, 0, c, v[c]);
        set(*mask, 0, 0, 0, t);
    }
    void glow(double brightness, int32_t mode, int32_t blend, const fx::ColorD& color)
    {
        applyGlow(*image, *mask, {0, 0, 1, 1}, 0, 0, brightness, mode, blend, color, 1);
    }
    int32_t operator[](int c) const { return get(*image, 0, 0, c); }
};

TEST(Glow, BrightnessSplitsIntoPassesAndRemainder)
{
    const struct {
        double brightness;
        bool sixteen;
        int32_t passes, remainder;
    } cases[] = {
        {0.0, false, 0, 0},     {1.0, false, 0, 255},     {2.0, false, 1, 254},    {0.5, false, 0, 127},
        {-1.0, false, 0, 0},    {0.0, true, 0, 0},        {1.0, true, 0, 32768},   {2.0, true, 1, 32767},
        {3.0, true, 2, 32766},  {8.0, false, 7, 248},
    };
    for (const auto& c : cases) {
        const imaging::GlowStrength s = imaging::splitBrightness(c.brightness, c.sixteen);
        EXPECT_EQ(s.passes, c.passes) << c.brightness << (c.sixteen ? " 16-bit" : " 8-bit");
        EXPECT_EQ(s.remainder, c.remainder) << c.brightness << (c.sixteen ? " 16-bit" : " 8-bit");
    }
}

TEST(Glow, ZeroMaskChangesNothingInAnyMode)
{
    for (int bpc : {1, 2}) {
        const fx::ImageRef original = pixeltest::noise(24, 20, 4, bpc, 3);
        const fx::ImageRef mask = pixeltest::constant(24, 20, 1, bpc, 0);
        for (int32_t mode : {Subtle, Spread})
            for (int32_t blend : {Screen, Add})
                for (const fx::ColorD& color : {kWhite, fx::ColorD{1.0, 0.5, 0.25}}) {
                    fx::ImageRef image = pixeltest::copyOf(*original);
                    applyGlow(*image, *mask, {0, 0, 20, 24}, 6, 4, 2.5, mode, blend, color, 1);
                    EXPECT_TRUE(pixeltest::samePixels(*image, *original)) << bpc << " " << mode << " " << blend;
                }
    }
}

TEST(Glow, SubtleUntintedKnownValues)
{
    const struct {
        int bpc;
        int32_t value, mask;
        double brightness;
        int32_t blend, expected;
    } cases[] = {
        {1, 128, 255, 1.0, Screen, 192},        // 128 + 128 - 64
        {2, 16384, 32768, 1.0, Screen, 24576},  // 16384 + 16384 - 8192
        {1, 100, 255, 2.0, Add, 255},           // 100 + 100 + 99 = 299, clamped
        {1, 100, 255, 0.5, Add, 149},           // 100 + 100 * 127 / 255
        {2, 10000, 32768, 2.0, Add, 29999},     // 10000 + 10000 + 9999
        {1, 128, 0, 1.0, Screen, 128},          // no mask, no glow
        {1, 100, 255, 0.0, Screen, 100},        // no strength, no glow
    };
    for (const auto& c : cases) {
        OnePixel p(c.bpc, c.value, c.value, c.value, c.mask);
        p.glow(c.brightness, Subtle, c.blend, kWhite);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(p[k], c.expected) << c.bpc << "-bit " << c.value << " at " << c.brightness;
        EXPECT_EQ(p[3], 77) << "alpha is kept";
    }
}

TEST(Glow, WhiteUsesTheUntintedRoutinesAnyOtherColourTheTinted)
{
    // Brightness 2 at value 100 under a full mask: one screen pass gives 161. The untinted remainder
    // scales the glow of the original value (99) to 198; the tinted one recomputes it from 161 (160)
    // and reaches 220.
    OnePixel white(1, 100, 100, 100, 255);
    white.glow(2.0, Subtle, Screen, kWhite);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(white[k], 198);

    OnePixel nearWhite(1, 100, 100, 100, 255);
    nearWhite.glow(2.0, Subtle, Screen, {1, 1, 0.999});
    EXPECT_EQ(nearWhite[0], 220);
    EXPECT_EQ(nearWhite[1], 220);

    // Tinted ADD at brightness 1: c0 + mul8(mul8(mul8(255, k), t), c0), with k = 127 for half red.
    OnePixel tintedAdd(1, 100, 100, 100, 255);
    tintedAdd.glow(1.0, Subtle, Add, {0.5, 1, 1});
    EXPECT_EQ(tintedAdd[0], 149);
    EXPECT_EQ(tintedAdd[1], 200);
}

// Spread without blur is a glow whose source is the masked picture itself.
TEST(Glow, SpreadWithoutBlurGlowsTheMaskedPicture)
{
    for (int bpc : {1, 2}) {
        const int32_t full = pixeltest::fullScale(bpc);
        const fx::ImageRef original = pixeltest::noise(16, 12, 4, bpc, 11);
        const fx::ImageRef mask = pixeltest::noise(16, 12, 1, bpc, 12);
        for (int x = 0; x < 16; ++x)
            set(*mask, x, 0, 0, 0);
        for (int32_t blend : {Screen, Add}) {
            fx::ImageRef image = pixeltest::copyOf(*original);
            applyGlow(*image, *mask, {0, 0, 12, 16}, 0, 0, 1.0, Spread, blend, kWhite, 1);
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 16; ++x) {
                    const int32_t m = get(*mask, x, y, 0);
                    for (int c = 0; c < 4; ++c) {
                        const int32_t v = get(*original, x, y, c);
                        // The masked picture: v × m / full (exact at m = full).
                        const int32_t g = m == full ? v : (bpc == 2 ? m * v / 32768 : v * m / 255);
                        int32_t expected = v;
                        if (m != 0 && c < 3)
                            expected = blend == Add ? std::min(full, v + g) : v + g - (bpc == 2 ? v * g / 32768 : v * g / 255);
                        ASSERT_EQ(get(*image, x, y, c), expected) << bpc << " " << blend << " " << x << "," << y;
                    }
                }
        }
    }
}

TEST(Glow, SpreadCarriesLightBeyondItsSourceAndIntoTheRect)
{
    for (int bpc : {1, 2}) {
        const int32_t full = pixeltest::fullScale(bpc);
        fx::ImageRef image = pixeltest::constant(21, 21, 4, bpc, 0);
        fx::ImageRef mask = pixeltest::constant(21, 21, 1, bpc, full);
        for (int c = 0; c < 4; ++c)
            set(*image, 10, 10, c, full);
        // Only the left half is modified; the light source sits on its right edge.
        const fx::Rect left{0, 0, 21, 10};
        applyGlow(*image, *mask, left, 8, 8, 1.0, Spread, Screen, kWhite, 1);
        EXPECT_GT(get(*image, 9, 10, 0), 0) << "light from outside the rect reaches it";
        EXPECT_GT(get(*image, 9, 8, 1), 0);
        EXPECT_EQ(get(*image, 11, 10, 0), 0) << "outside the rect nothing changes";
        EXPECT_EQ(get(*image, 9, 10, 3), 0) << "alpha is kept";
        EXPECT_EQ(get(*image, 0, 0, 0), 0);
    }
}

TEST(Glow, BlurredMaskSoftensSubtle)
{
    fx::ImageRef image = pixeltest::constant(21, 9, 4, 1, 100);
    fx::ImageRef mask = pixeltest::constant(21, 9, 1, 1, 0);
    for (int y = 0; y < 9; ++y)
        set(*mask, 10, y, 0, 255);
    const fx::ImageRef maskBefore = pixeltest::copyOf(*mask);
    applyGlow(*image, *mask, {0, 0, 9, 21}, 6, 0, 1.0, Subtle, Screen, kWhite, 1);
    EXPECT_TRUE(pixeltest::samePixels(*mask, *maskBefore)) << "the mask itself is not blurred";
    EXPECT_GT(get(*image, 8, 4, 0), 100);
    EXPECT_LT(get(*image, 10, 4, 0), 160) << "the peak is spread out";
    EXPECT_EQ(get(*image, 0, 4, 0), 100);
}

TEST(Glow, RejectsMismatchedMask)
{
    fx::ImageRef image = pixeltest::constant(4, 4, 4, 1, 0);
    fx::ImageRef wide = pixeltest::constant(5, 4, 1, 1, 0);
    fx::ImageRef deep = pixeltest::constant(4, 4, 1, 2, 0);
    EXPECT_THROW(applyGlow(*image, *wide, {0, 0, 4, 4}, 0, 0, 1, Subtle, Screen, kWhite, 1), std::invalid_argument);
    EXPECT_THROW(applyGlow(*image, *deep, {0, 0, 4, 4}, 0, 0, 1, Subtle, Screen, kWhite, 1), std::invalid_argument);
}

struct GlowOwner : fx::Effect {
    GlowOwner() : Effect(nullptr)
    {
        static const char* const modes[] = {"Subtle", "Spread"};
        static const char* const blends[] = {"Screen", "ADD"};
        static const double white[3] = {1, 1, 1};
        table[0].initInput("background", "Background");
        table[4].initList("mist", "Mist", modes, 2, Spread);
        table[5].initList("glowBlend", "Blend", blends, 2, Screen);
        table[6].initRange("glowBrightness", "Brightness", 0, 800, 150, 0);
        table[7].initRange("glowBlurH", "Horizontal Blur", 0, 1000, 100, 0);
        table[8].initRange("glowBlurV", "Vertical Blur", 0, 1000, 20, 0);
        table[9].initBoolean("glowBlurGang", "Gang Blur", true);
        table[10].initColor("glowColor", "Color", white);
        setParameters(table, 11);
    }
};

TEST(Glow, DriverReadsTheBlockAndScalesOnRequest)
{
    struct Info : fx::HostRenderInfo {} info;
    info.imageWidth = 30;
    info.imageHeight = 40;
    info.scaleX = 0.5f;
    info.scaleY = 1.0f;
    GlowOwner owner;
    const fx::ImageRef original = pixeltest::noise(30, 40, 4, 1, 5);
    const fx::ImageRef mask = pixeltest::noise(30, 40, 1, 1, 6);
    const fx::Rect all{0, 0, 40, 30};
    const float h = info.unitsToPixelsX(100);  // ganged: the vertical amount is the horizontal value
    const float v = info.unitsToPixelsY(100);
    for (bool scaled : {false, true}) {
        fx::ImageRef driven = pixeltest::copyOf(*original);
        imaging::glowFromParameters(owner, *driven, *mask, all, info, {4, scaled});
        fx::ImageRef direct = pixeltest::copyOf(*original);
        const float s = scaled ? 0.5f : 1.0f;  // the render's horizontal scale; the vertical one is 1
        applyGlow(*direct, *mask, all, h * s, v, 1.5, Spread, Screen, kWhite, info.passes);
        EXPECT_TRUE(pixeltest::samePixels(*driven, *direct)) << scaled;
    }
}

} // namespace
