#include "imaging/pixel/Pixel.h"

#include "PixelTestImages.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using fx::Channel16;
using fx::Channel8;
using pixeltest::get;
using pixeltest::set;

namespace {

fx::Rect whole(const fx::Image& image) { return {0, 0, image.height, image.width}; }

TEST(PixelArithmetic, ProductsScreensAndWidening)
{
    EXPECT_EQ(imaging::mul8(255, 255), 255);
    EXPECT_EQ(imaging::mul8(128, 128), 64);       // 16384 / 255 = 64.25
    EXPECT_EQ(imaging::mul8(254, 1), 0);          // truncates
    EXPECT_EQ(imaging::mul16(32768, 32768), 32768);
    EXPECT_EQ(imaging::mul16(16384, 16384), 8192);
    EXPECT_EQ(imaging::mul16(32767, 1), 0);
    EXPECT_EQ(imaging::screen8(255, 17), 255);
    EXPECT_EQ(imaging::screen8(128, 128), 192);
    EXPECT_EQ(imaging::screen16(32768, 5), 32768);
    EXPECT_EQ(imaging::screen16(16384, 16384), 24576);

    EXPECT_EQ(imaging::widen8to16(0), 0);
    EXPECT_EQ(imaging::widen8to16(1), 129);       // 128.5 + 0.5
    EXPECT_EQ(imaging::widen8to16(128), 16448);
    EXPECT_EQ(imaging::widen8to16(255), 32768);
    for (int v = 1; v < 256; ++v)
        ASSERT_GT(imaging::widen8to16(v), imaging::widen8to16(v - 1));
}

TEST(PixelArithmetic, BlendModes)
{
    struct Case { imaging::BlendMode mode; int a, b, expect8, expect16; };
    using M = imaging::BlendMode;
    const Case cases[] = {
        {M::TextureOnly, 200, 30, 30, 30},
        {M::Add, 200, 30, 230, 230},
        {M::Add, 200, 100, 255, 300},
        {M::Add, 20000, 20000, 255, 32768},            // clamps at 0x8000
        {M::Subtract, 30, 200, 0, 0},
        {M::Subtract, 200, 30, 170, 170},
        {M::Multiply, 255, 77, 77, 0},                 // 16-bit: 255 * 77 >> 15
        {M::Multiply, 32768, 77, 0, 77},                // 16-bit only
        {M::Screen, 128, 128, 192, 256},
        {M::Difference, 255, 255, 0, 507},             // 16-bit: 510 - 130050 / 32768
        {M::Difference, 255, 0, 255, 255},
        {M::Difference, 32768, 32768, 0, 0},           // 16-bit only: 2ab is 2^31
        {M::Difference, 32768, 0, 32768, 32768},
        {M::Darken, 10, 20, 10, 10},
        {M::Lighten, 10, 20, 20, 20},
    };
    for (const Case& c : cases) {
        const int mode = static_cast<int>(c.mode);
        if (c.a <= 255 && c.b <= 255) {
            EXPECT_EQ(imaging::blend<Channel8>(mode, c.a, c.b), c.expect8) << "mode " << mode << " " << c.a << "," << c.b;
        }
        EXPECT_EQ(imaging::blend<Channel16>(mode, c.a, c.b), c.expect16) << "mode " << mode << " " << c.a << "," << c.b;
    }
    EXPECT_EQ(imaging::blend<Channel8>(99, 1, 2), 2);   // unknown index: b unchanged
    EXPECT_STREQ(imaging::kBlendModeLabels[5], "Difference");
}

TEST(PixelArithmetic, CombineImagesWritesSecond)
{
    for (int bpc : {1, 2}) {
        fx::ImageRef first = pixeltest::noise(7, 5, 1, bpc, 1);
        fx::ImageRef second = pixeltest::noise(7, 5, 1, bpc, 2);
        fx::ImageRef before = pixeltest::copyOf(*second);
        imaging::combineImages(0, *first, *second);
        imaging::combineImages(8, *first, *second);
        imaging::combineImages(-1, *first, *second);
        EXPECT_TRUE(pixeltest::samePixels(*second, *before));

        imaging::combineImages(static_cast<int>(imaging::BlendMode::Lighten), *first, *second);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(get(*second, x, y, 0), std::max(get(*first, x, y, 0), get(*before, x, y, 0)));
    }
    fx::ImageRef a = pixeltest::noise(7, 5, 1, 1, 1);
    fx::ImageRef wider = pixeltest::noise(8, 5, 1, 1, 1);
    fx::ImageRef sixteen = pixeltest::noise(7, 5, 1, 2, 1);
    EXPECT_THROW(imaging::combineImages(1, *a, *wider), std::invalid_argument);
    EXPECT_THROW(imaging::combineImages(1, *a, *sixteen), std::invalid_argument);
}

TEST(PixelHelpers, CopyRectAndCopyOutside)
{
    fx::ImageRef src = pixeltest::noise(12, 9, 4, 2, 5);
    fx::ImageRef dst = pixeltest::constant(12, 9, 4, 2, 0);
    const fx::Rect part{2, 3, 6, 10};
    imaging::copyRect(*dst, *src, part);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(get(*dst, x, y, 1), part.contains(x, y) ? get(*src, x, y, 1) : 0) << x << "," << y;

    fx::ImageRef ring = pixeltest::constant(12, 9, 4, 2, 0);
    const fx::Rect outer{1, 1, 8, 11};
    imaging::copyOutside(*ring, *src, part, outer);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool copied = outer.contains(x, y) && !part.contains(x, y);
            ASSERT_EQ(get(*ring, x, y, 2), copied ? get(*src, x, y, 2) : 0) << x << "," << y;
        }

    // A whole-image copy between different strides; a copy onto itself; rects beyond the image.
    std::vector<uint16_t> block(static_cast<std::size_t>(20 * 4 * 9));
    fx::ImageRef padded(fx::Image::create(12, 9, 4, 2, 20 * 4 * 2, block.data()));
    imaging::copyRect(*padded, *src, {-3, -3, 50, 50});
    EXPECT_TRUE(pixeltest::samePixels(*padded, *src));
    imaging::copyRect(*src, *src, whole(*src));
    imaging::copyOutside(*ring, *src, {-100, -100, -50, -50}, {0, 0, 100, 100});
    EXPECT_TRUE(pixeltest::samePixels(*ring, *src));
}

TEST(PixelHelpers, FillExpandInvert)
{
    fx::ImageRef rgba8 = pixeltest::noise(5, 4, 4, 1, 1);
    imaging::fillImage(*rgba8, fx::Color8{1, 2, 3, 4});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(get(*rgba8, x, y, c), c + 1);
    imaging::fillImage(*rgba8, fx::Color8{});
    EXPECT_TRUE(pixeltest::samePixels(*rgba8, *pixeltest::constant(5, 4, 4, 1, 0)));

    std::vector<uint16_t> block(static_cast<std::size_t>(5 * 4 * 4), 7);
    fx::ImageRef bottomUp(fx::Image::create(5, 4, 4, 2, -40, block.data()));
    imaging::fillImage(*bottomUp, fx::Color16{});
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](uint16_t v) { return v == 0; }));
    imaging::fillImage(*bottomUp, fx::Color16{32768, 0, 1, 32768});
    EXPECT_EQ(get(*bottomUp, 4, 3, 0), 32768);
    EXPECT_EQ(get(*bottomUp, 4, 3, 2), 1);
    EXPECT_THROW(imaging::fillImage(*bottomUp, fx::Color8{}), std::invalid_argument);

    fx::ImageRef grey = pixeltest::noise(5, 4, 1, 2, 3);
    fx::ImageRef shown = pixeltest::constant(5, 4, 4, 2, 9);
    imaging::expandGrey(*grey, *shown, {1, 1, 3, 4});
    EXPECT_EQ(get(*shown, 0, 0, 0), 9);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(get(*shown, 2, 2, c), get(*grey, 2, 2, 0));
    EXPECT_EQ(get(*shown, 2, 2, 3), 32768);

    fx::ImageRef matte = pixeltest::constant(3, 2, 1, 2, 0);
    set(*matte, 1, 1, 0, 32768);
    imaging::invertMatte(*matte, whole(*matte));
    EXPECT_EQ(get(*matte, 0, 0, 0), 32768);
    EXPECT_EQ(get(*matte, 1, 1, 0), 0);
    fx::ImageRef matte8 = pixeltest::constant(3, 2, 1, 1, 55);
    imaging::invertMatte(*matte8, {0, 0, 1, 1});
    EXPECT_EQ(get(*matte8, 0, 0, 0), 200);
    EXPECT_EQ(get(*matte8, 1, 0, 0), 55);
}

TEST(PixelHelpers, PremultiplyByMask)
{
    const uint8_t row8[12] = {200, 100, 50, 7, 200, 100, 50, 7, 200, 100, 50, 7};
    const uint8_t mask8[3] = {0, 255, 128};
    uint8_t out8[12];
    imaging::premultiplyByMask(row8, mask8, out8, 3);
    const uint8_t expect8[12] = {0, 0, 0, 0, 200, 100, 50, 255, 100, 50, 25, 128};
    EXPECT_TRUE(std::equal(out8, out8 + 12, expect8));

    const uint16_t row16[8] = {32768, 20000, 3, 0, 32768, 20000, 3, 0};
    const uint16_t mask16[2] = {32768, 16384};
    uint16_t out16[8];
    imaging::premultiplyByMask(row16, mask16, out16, 2);
    const uint16_t expect16[8] = {32768, 20000, 3, 32768, 16384, 10000, 1, 16384};
    EXPECT_TRUE(std::equal(out16, out16 + 8, expect16));
}

TEST(PixelHelpers, LookupTablesAndGains)
{
    std::vector<uint8_t> inverse(256), red(256), green(256), blue(256, 9);
    for (int i = 0; i < 256; ++i) {
        inverse[i] = static_cast<uint8_t>(255 - i);
        red[i] = static_cast<uint8_t>(i / 2);
        green[i] = static_cast<uint8_t>(i);
    }
    fx::ImageRef image = pixeltest::noise(6, 3, 4, 1, 8);
    fx::ImageRef before = pixeltest::copyOf(*image);
    imaging::applyLut(*image, whole(*image), inverse.data());
    imaging::applyLut(*image, {0, 0, 3, 3}, red.data(), green.data(), blue.data());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) {
            const int r = 255 - get(*before, x, y, 0);
            ASSERT_EQ(get(*image, x, y, 0), x < 3 ? r / 2 : r);
            ASSERT_EQ(get(*image, x, y, 2), x < 3 ? 9 : 255 - get(*before, x, y, 2));
            ASSERT_EQ(get(*image, x, y, 3), get(*before, x, y, 3));  // alpha kept
        }

    // 16-bit tables have 32769 entries; levels beyond full scale are read as full scale.
    std::vector<uint16_t> half(32769);
    for (int i = 0; i < 32769; ++i)
        half[i] = static_cast<uint16_t>(i / 2);
    fx::ImageRef grey16 = pixeltest::constant(2, 1, 1, 2, 32768);
    set(*grey16, 1, 0, 0, 65535);
    imaging::applyLut(*grey16, whole(*grey16), half.data());
    EXPECT_EQ(get(*grey16, 0, 0, 0), 16384);
    EXPECT_EQ(get(*grey16, 1, 0, 0), 16384);

    std::vector<uint8_t> t(256);
    std::iota(t.begin(), t.end(), 0);
    imaging::gainLut(t.data(), 0.0, false);  // additive 0: unchanged
    EXPECT_EQ(t[200], 200);
    imaging::gainLut(t.data(), 0.5, false);  // t[i] = trunc(0.5 i + t[i]), clamped
    EXPECT_EQ(t[3], 4);
    EXPECT_EQ(t[200], 255);
    imaging::gainLut(t.data(), 0.5, true);   // t[i] = trunc(0.5 t[i])
    EXPECT_EQ(t[3], 2);
    EXPECT_EQ(t[200], 127);
    imaging::gainLut(t.data(), -1.0, true);
    EXPECT_EQ(t[200], 0);

    std::vector<uint16_t> t16(32769);
    std::iota(t16.begin(), t16.end(), 0);
    imaging::gainLut(t16.data(), 1.5, true);
    EXPECT_EQ(t16[3], 4);
    EXPECT_EQ(t16[32768], 32768);
}

TEST(PixelHelpers, WarmCoolShift)
{
    for (int bpc : {1, 2}) {
        const int full = pixeltest::fullScale(bpc);
        fx::ImageRef image = pixeltest::constant(2, 1, 4, bpc, 0);
        const int px[2][4] = {{100, 50, 100, 3}, {full, 50, full / 3, 3}};
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 4; ++c)
                set(*image, x, 0, c, px[x][c]);
        fx::ImageRef warm = pixeltest::copyOf(*image);
        imaging::warmCoolShift(*warm, whole(*warm), 1.0);      // R = 0, B doubled (clamped)
        EXPECT_EQ(get(*warm, 0, 0, 0), 0);
        EXPECT_EQ(get(*warm, 0, 0, 2), 200);
        EXPECT_EQ(get(*warm, 1, 0, 2), full / 3 * 2);
        EXPECT_EQ(get(*warm, 0, 0, 1), 50);
        EXPECT_EQ(get(*warm, 0, 0, 3), 3);
        fx::ImageRef cool = pixeltest::copyOf(*image);
        imaging::warmCoolShift(*cool, whole(*cool), -1.0);     // B = 0, R doubled (clamped)
        EXPECT_EQ(get(*cool, 0, 0, 0), 200);
        EXPECT_EQ(get(*cool, 1, 0, 0), full);
        EXPECT_EQ(get(*cool, 0, 0, 2), 0);
        fx::ImageRef small = pixeltest::copyOf(*image);
        imaging::warmCoolShift(*small, whole(*small), 0.1);    // factors 1.1f and 0.9f
        EXPECT_EQ(get(*small, 0, 0, 2), 110);
        EXPECT_EQ(get(*small, 0, 0, 0), 90);
        fx::ImageRef none = pixeltest::copyOf(*image);
        imaging::warmCoolShift(*none, whole(*none), 0.0);
        EXPECT_TRUE(pixeltest::samePixels(*none, *image));
    }
}

TEST(PixelHelpers, HueSaturationShift)
{
    for (int bpc : {1, 2}) {
        const int full = pixeltest::fullScale(bpc);
        // Pure red, a grey, and an orange.
        const int px[3][4] = {{full, 0, 0, 5}, {full / 2, full / 2, full / 2, 5}, {full, full / 2, 0, 5}};
        fx::ImageRef image = pixeltest::constant(3, 1, 4, bpc, 0);
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 4; ++c)
                set(*image, x, 0, c, px[x][c]);

        fx::ImageRef turned = pixeltest::copyOf(*image);
        imaging::hueSaturationShift(*turned, whole(*turned), 120.0f, 0.0f);
        EXPECT_EQ(get(*turned, 0, 0, 0), 0);
        EXPECT_EQ(get(*turned, 0, 0, 1), full);
        EXPECT_EQ(get(*turned, 0, 0, 2), 0);
        EXPECT_EQ(get(*turned, 0, 0, 3), 5);

        fx::ImageRef around = pixeltest::copyOf(*image);
        imaging::hueSaturationShift(*around, whole(*around), 360.0f, 0.0f);  // a full turn
        EXPECT_EQ(get(*around, 0, 0, 0), full);
        EXPECT_EQ(get(*around, 0, 0, 1), 0);

        fx::ImageRef grey = pixeltest::copyOf(*image);
        imaging::hueSaturationShift(*grey, whole(*grey), 0.0f, -1.0f);     // desaturate fully
        EXPECT_EQ(get(*grey, 0, 0, 1), full);
        EXPECT_EQ(get(*grey, 2, 0, 2), full);
        fx::ImageRef boosted = pixeltest::copyOf(*image);
        imaging::hueSaturationShift(*boosted, whole(*boosted), 45.0f, 1.0f);
        for (fx::Image* im : {grey.get(), boosted.get()})
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(get(*im, 1, 0, c), px[1][c]) << "greys have no hue and stay";
    }
}

TEST(PixelHelpers, ToneAdjust)
{
    for (int bpc : {1, 2}) {
        const int full = pixeltest::fullScale(bpc);
        fx::ImageRef image = pixeltest::noise(16, 8, 4, bpc, 21);
        fx::ImageRef same = pixeltest::copyOf(*image);
        imaging::toneAdjust(*same, whole(*same), 0, 0, 0, 0, 0, 0, 0, 0, false);
        EXPECT_TRUE(pixeltest::samePixels(*same, *image)) << "neutral settings keep the picture";

        // Contrast +1 is a threshold at half scale; a red gain of 0.5 then adds (or multiplies).
        fx::ImageRef added = pixeltest::copyOf(*image);
        fx::ImageRef scaled = pixeltest::copyOf(*image);
        imaging::toneAdjust(*added, whole(*added), 0, 0, 0, 1.0, 0, 0.5, 0, 0, false);
        imaging::toneAdjust(*scaled, whole(*scaled), 0, 0, 0, 1.0, 0, 0.5, 1.0, 1.0, true);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) {
                const int r = get(*image, x, y, 0);
                const int g = get(*image, x, y, 1);
                const int threshold = r * 2 >= full ? full : 0;
                ASSERT_EQ(get(*added, x, y, 0), std::min(full, threshold + r / 2));
                ASSERT_EQ(get(*added, x, y, 1), g * 2 >= full ? full : 0);
                ASSERT_EQ(get(*scaled, x, y, 0), threshold / 2);
                ASSERT_EQ(get(*scaled, x, y, 1), g * 2 >= full ? full : 0);
                ASSERT_EQ(get(*added, x, y, 3), get(*image, x, y, 3));
            }
    }
}

} // namespace
