#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "framework/RenderLoop.h"

#include "support/TestEffects.h"

#include <gtest/gtest.h>

#include <memory>

using fxtest::EffectDeleter;
using fxtest::InvertEffect;
using EffectPtr = std::unique_ptr<fx::Effect, EffectDeleter>;

namespace {

// A deterministic RGBA test picture; alpha is left as the host would (not document data).
fx::ImageRef makePicture(int w, int h, int bpc)
{
    fx::ImageRef image = fx::makeImage(w, h, 4, bpc);
    const int full = bpc == 2 ? 32768 : 255;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                const int v = (x * 37 + y * 101 + c * 59) % (full + 1);
                if (bpc == 2)
                    image->rowAs<uint16_t>(y)[4 * x + c] = static_cast<uint16_t>(v);
                else
                    image->row(y)[4 * x + c] = static_cast<uint8_t>(v);
            }
    return image;
}

bool samePixels(const fx::Image& a, const fx::Image& b)
{
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.width) * a.bytesPerPixel) != 0)
            return false;
    return true;
}

TEST(RenderInfo, UnitsFollowTheImageHeightAndZoom)
{
    fx::HostRenderInfo info;
    info.imageHeight = 1000;  // a 2000-row document previewed at zoom 0.5
    info.scaleX = info.scaleY = 0.5f;
    EXPECT_FLOAT_EQ(info.unitsToPixelsY(100), 100.0f);
    EXPECT_FLOAT_EQ(info.unitsToPixelsX(100), 100.0f);
    info.scaleX = 1.0f;  // anisotropic zoom: horizontal pixels follow the horizontal scale
    EXPECT_FLOAT_EQ(info.unitsToPixelsX(100), 200.0f);
    EXPECT_FALSE(info.cancelRequested());
    EXPECT_TRUE(info.reportProgress(1, 2));
    EXPECT_EQ(info.sourceAt({0, 0}, nullptr), nullptr);
}

TEST(RenderDriver, FillsTheRenderInfoForEachTile)
{
    EffectPtr e(InvertEffect::ops.create());
    auto& self = static_cast<InvertEffect&>(*e);
    fx::HostRenderInfo info;
    fx::RenderDriver driver(*e, info);
    driver.zoomX = driver.zoomY = 0.25f;
    driver.begin(640, 480, true, true);
    EXPECT_EQ(self.beginCalls, 1);
    EXPECT_EQ(info.tileIndex, -1);
    EXPECT_EQ(info.scaleX, 0.25f);
    EXPECT_EQ(info.passes, 1);
    EXPECT_EQ(info.fieldMode, 2);
    EXPECT_EQ(info.preview, 1);
    EXPECT_EQ(info.imageWidth, 640);

    // The default inputRect leaves the rectangle unchanged.
    const fx::Rect tile{32, 0, 64, 640};
    EXPECT_EQ(driver.inputRectFor(tile), tile);

    std::vector<uint8_t> in(640 * 32 * 4, 10), out(640 * 32 * 4, 10);
    fx::PixelBuffer ib{tile, 4, 1, 640 * 4, 4, in.data()};
    fx::PixelBuffer ob{tile, 4, 1, 640 * 4, 4, out.data()};
    EXPECT_TRUE(driver.renderOneTile(ib, ob, tile, tile, 1, 15));
    EXPECT_EQ(self.lastRenderRect, (fx::Rect{0, 0, 32, 640}));
    EXPECT_EQ(self.lastTileRect, tile);
    EXPECT_EQ(self.lastTileIndex, 1);
    EXPECT_EQ(self.lastTileCount, 15);
    EXPECT_FALSE(self.lastSixteenBit);  // taken from the buffers, not from begin
    EXPECT_EQ(out[0], 245);
    EXPECT_EQ(out[3], 10);  // the fourth channel is not document data
    driver.end();
    EXPECT_EQ(e->params[0].input.image, nullptr);
}

TEST(RenderDriver, ThrowingTileIsReportedAsFailed)
{
    EffectPtr e(fxtest::ThrowingEffect::ops.create());
    fx::HostRenderInfo info;
    fx::RenderDriver driver(*e, info);
    driver.begin(4, 4, false, false);
    std::vector<uint8_t> in(64), out(64);
    const fx::Rect r{0, 0, 4, 4};
    fx::PixelBuffer ib{r, 4, 1, 16, 4, in.data()};
    fx::PixelBuffer ob{r, 4, 1, 16, 4, out.data()};
    EXPECT_FALSE(driver.renderOneTile(ib, ob, r, r, 0, 1));
    EXPECT_TRUE(driver.renderOneTile(ib, ob, r, r, 1, 2));
    driver.end();
}

TEST(RenderLoop, BandedRenderMatchesTheWholeImage)
{
    for (int bpc : {1, 2}) {
        fx::ImageRef src = makePicture(37, 29, bpc);
        EffectPtr e(InvertEffect::ops.create());
        fx::ImageRef whole = fx::makeImage(37, 29, 4, bpc);
        fx::ImageRef banded = fx::makeImage(37, 29, 4, bpc);
        ASSERT_TRUE(fx::renderImage(*e, *src, *whole, {.bandHeight = 1000}));
        ASSERT_TRUE(fx::renderImage(*e, *src, *banded, {.bandHeight = 4}));
        EXPECT_TRUE(samePixels(*whole, *banded));
        const int full = bpc == 2 ? 32768 : 255;
        const int v = bpc == 2 ? whole->rowAs<uint16_t>(3)[4 * 5 + 1] : whole->row(3)[4 * 5 + 1];
        EXPECT_EQ(v, full - (5 * 37 + 3 * 101 + 59) % (full + 1));
        EXPECT_EQ(static_cast<InvertEffect&>(*e).lastSixteenBit, bpc == 2);

        // Effects that need borders get them: the banded result equals the one-tile result.
        EffectPtr shift(fxtest::ShiftUpEffect::ops.create());
        ASSERT_TRUE(fx::renderImage(*shift, *src, *whole, {.bandHeight = 1000}));
        ASSERT_TRUE(fx::renderImage(*shift, *src, *banded, {.bandHeight = 3}));
        EXPECT_TRUE(samePixels(*whole, *banded));
    }
}

TEST(RenderLoop, InactiveEffectCopiesAndFailedTilesAreBlank)
{
    fx::ImageRef src = makePicture(16, 12, 1);
    fx::ImageRef dst = fx::makeImage(16, 12, 4, 1);

    EffectPtr e(InvertEffect::ops.create());
    e->params[InvertEffect::Active].boolean.current = 0;
    ASSERT_TRUE(fx::renderImage(*e, *src, *dst, {.bandHeight = 5}));
    EXPECT_TRUE(samePixels(*src, *dst));

    EffectPtr t(fxtest::ThrowingEffect::ops.create());
    static_cast<fxtest::ThrowingEffect&>(*t).failTile = 1;
    EXPECT_FALSE(fx::renderImage(*t, *src, *dst, {.bandHeight = 5}));
    const std::vector<uint8_t> zeros(64, 0);
    for (int y = 0; y < 12; ++y) {
        const bool blank = y >= 5 && y < 10;  // the second band
        EXPECT_EQ(std::memcmp(dst->row(y), blank ? zeros.data() : src->row(y), 64), 0) << "row " << y;
    }
}

} // namespace
