#include "imaging/color/ColorPrimitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace imaging;

TEST(ToneResponse, GammaKeepsEndpointsAndFullGammaIsTwoRootXMinusX)
{
    for (double g : {-1.0, -0.5, -0.01, 0.3, 1.0}) {
        EXPECT_NEAR(toneResponse(0.0, 0, 0, g), 0.0, 1e-12) << g;
        EXPECT_NEAR(toneResponse(1.0, 0, 0, g), 1.0, 1e-12) << g;
    }
    for (double x : {0.01, 0.25, 0.5, 0.9})
        EXPECT_DOUBLE_EQ(toneResponse(x, 0, 0, 1.0), 2 * std::sqrt(x) - x) << x;
    EXPECT_GT(toneResponse(0.5, 0, 0, 0.5), 0.5);
    EXPECT_LT(toneResponse(0.5, 0, 0, -0.5), 0.5);
}

TEST(ToneResponse, BrightnessAndContrast)
{
    EXPECT_DOUBLE_EQ(toneResponse(0.25, 1.0, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(toneResponse(0.75, 1.0, 0, 0), 1.0);  // clamped
    EXPECT_DOUBLE_EQ(toneResponse(0.75, -1.0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(toneResponse(0.9, 0, -1.0, 0), 0.5);   // no contrast left
    EXPECT_DOUBLE_EQ(toneResponse(0.6, 0, 0.5, 0), 0.7);
    EXPECT_DOUBLE_EQ(toneResponse(0.2, 0, 0.5, 0), 0.0);    // clamped
    // Contrast +1 is a threshold at 0.5, whatever the brightness did before.
    EXPECT_EQ(toneResponse(0.4999, 0, 1.0, 0), 0.0);
    EXPECT_EQ(toneResponse(0.5, 0, 1.0, 0), 1.0);
    EXPECT_EQ(toneResponse(0.3, 1.0, 1.0, 0), 1.0);
}

TEST(ToneTable, NeutralIsIdentityAndContrastOneIsThreshold)
{
    std::vector<uint8_t> t8(256);
    std::vector<uint16_t> t16(32769);
    buildToneTable8(t8.data(), 0, 0, 0);
    buildToneTable16(t16.data(), 0, 0, 0);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t8[i], i);
    for (int i = 0; i <= 32768; ++i)
        ASSERT_EQ(t16[i], i);

    buildToneTable8(t8.data(), 0, 1.0, 0);
    buildToneTable16(t16.data(), 0, 1.0, 0);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t8[i], i < 128 ? 0 : 255) << i;  // 127/255 < 0.5 <= 128/255
    for (int i = 0; i <= 32768; ++i)
        ASSERT_EQ(t16[i], i < 16384 ? 0 : 32768) << i;
}

TEST(ToneTable, EntriesRoundToNearestLevel)
{
    std::vector<uint8_t> t8(256);
    std::vector<uint16_t> t16(32769);
    // Brightness -0.5 halves every level: odd levels sit exactly on .5 or just below it.
    buildToneTable8(t8.data(), -0.5, 0, 0);
    buildToneTable16(t16.data(), -0.5, 0, 0);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t8[i], static_cast<int>(static_cast<double>(i) / 255 * 0.5 * 255 + 0.5)) << i;
    EXPECT_EQ(t8[2], 1);
    EXPECT_EQ(t8[255], 128);
    EXPECT_EQ(t16[3], 2);  // 1.5 + 0.5 exactly in binary
    EXPECT_EQ(t16[32768], 16384);

    // Gamma +1: 2*sqrt(x) - x, endpoints kept.
    buildToneTable8(t8.data(), 0, 0, 1.0);
    EXPECT_EQ(t8[0], 0);
    EXPECT_EQ(t8[255], 255);
    EXPECT_EQ(t8[64], static_cast<int>((2 * std::sqrt(64.0 / 255) - 64.0 / 255) * 255 + 0.5));
}

TEST(Hsv, PrimariesAndGreys)
{
    struct Case {
        float r, g, b, h, s, v;
    };
    const Case cases[] = {
        {1, 0, 0, 0, 1, 1},       {1, 1, 0, 60, 1, 1},     {0, 1, 0, 120, 1, 1},
        {0, 1, 1, 180, 1, 1},     {0, 0, 1, 240, 1, 1},    {1, 0, 1, 300, 1, 1},
        {1, 0, 0.5f, 330, 1, 1},  {0.5f, 0.25f, 0.25f, 0, 0.5f, 0.5f},
        {0.4f, 0.4f, 0.4f, -1, 0, 0.4f}, {0, 0, 0, -1, 0, 0},
    };
    for (const Case& c : cases) {
        const Hsv hsv = rgbToHsv(c.r, c.g, c.b);
        EXPECT_FLOAT_EQ(hsv.h, c.h) << c.r << "," << c.g << "," << c.b;
        EXPECT_FLOAT_EQ(hsv.s, c.s);
        EXPECT_FLOAT_EQ(hsv.v, c.v);
        const RgbF rgb = hsvToRgb(hsv.h, hsv.s, hsv.v);
        EXPECT_FLOAT_EQ(rgb.r, c.r);
        EXPECT_FLOAT_EQ(rgb.g, c.g);
        EXPECT_FLOAT_EQ(rgb.b, c.b);
    }
    // 360 is the same hue as 0; undefined hue or zero saturation is grey.
    const RgbF a = hsvToRgb(360, 0.5f, 0.8f), b = hsvToRgb(0, 0.5f, 0.8f);
    EXPECT_EQ(a.r, b.r);
    EXPECT_EQ(a.g, b.g);
    EXPECT_EQ(a.b, b.b);
    const RgbF grey = hsvToRgb(-1, 0.7f, 0.3f);
    EXPECT_EQ(grey.r, 0.3f);
    EXPECT_EQ(grey.b, 0.3f);
    // Out-of-range or NaN hues stay inside the six sectors.
    const RgbF wild = hsvToRgb(1000, 1, 1);
    EXPECT_LE(wild.r, 1.0f);
    const RgbF nan = hsvToRgb(std::nanf(""), 1, 1);
    EXPECT_EQ(nan.r, 1.0f);
}

// Through HSV and back, truncating after x255, a colour never gains and loses at most one level.
TEST(Hsv, RoundTripOfChannelLevels)
{
    const float k8 = kInvFullScale<fx::Channel8>;
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 7) {
                const Hsv hsv = rgbToHsv(r * k8, g * k8, b * k8);
                const RgbF out = hsvToRgb(hsv.h, hsv.s, hsv.v);
                const int in[3] = {r, g, b};
                const int back[3] = {static_cast<int>(out.r * 255.0f), static_cast<int>(out.g * 255.0f),
                                     static_cast<int>(out.b * 255.0f)};
                for (int c = 0; c < 3; ++c)
                    ASSERT_TRUE(back[c] == in[c] || back[c] == in[c] - 1) << r << "," << g << "," << b;
            }
}

TEST(Luma, WeightsSumToFullScale)
{
    EXPECT_EQ(luma8(255, 255, 255), 255);
    EXPECT_EQ(luma8(255, 0, 0), 76);
    EXPECT_EQ(luma8(0, 255, 0), 150);
    EXPECT_EQ(luma8(0, 0, 255), 29);
    EXPECT_EQ(luma8(100, 100, 100), 100);
    EXPECT_EQ(luma8(1, 1, 0), 0);  // (76 + 150) / 255 truncates
    EXPECT_EQ(luma16(32768, 32768, 32768), 32768);
    EXPECT_EQ(luma16(32768, 0, 0), 9798);
    EXPECT_EQ(luma16(12345, 12345, 12345), 12345);
    EXPECT_EQ((luma<fx::Channel16>(0, 0, 32768)), 3735);
}
