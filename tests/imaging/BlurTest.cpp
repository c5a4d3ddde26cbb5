#include "imaging/blur/SeparableBlur.h"

#include "PixelTestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using imaging::BoxWindow;
using imaging::SeparableBlur;
using pixeltest::get;
using pixeltest::set;

namespace {

// ---- A slow reference, written straight from the definition -----------------------------------

// Radius and fraction of a half amount x on a line of len pixels.
BoxWindow referenceWindow(float x, int len)
{
    if (!(x > 0) || len / 2 - 1 < 1)
        return {};
    int r = std::ceil(x) > static_cast<float>(len) ? len : static_cast<int>(std::ceil(x));
    const float frac = std::ceil(x) == x ? 0.0f : 1.0f - (std::ceil(x) - x);
    if (r > len / 2 - 1)
        r = len / 2 - 1;
    if (static_cast<float>(r) == std::floor(x))
        r = r + 1;
    if (r > len / 2 - 1)
        r = len / 2 - 1;
    return {r, frac};
}

// The interior division as defined: 8-bit (h e + f) >> 23 with e = 2^23 / D, f = (2^23 - eD) 255;
// 16-bit (h W + T) >> 47 with W = 2^47 / D, T = (2^47 - WD) 65535. Where the 8-bit correction
// term would reach a whole level the plain quotient h / D is expected.
int64_t interiorQuotient(int64_t h, int64_t D, bool sixteen)
{
    const int shift = sixteen ? 47 : 23;
    const uint64_t one = uint64_t{1} << shift;
    const uint64_t e = one / static_cast<uint64_t>(D);
    const uint64_t f = (one - e * static_cast<uint64_t>(D)) * (sixteen ? 65535 : 255);
    if (f >= one)
        return h / D;
    return static_cast<int64_t>((static_cast<uint64_t>(h) * e + f) >> shift);
}

// One pass over a line: every output is the weighted sum of the taps that exist, divided by the
// weight present (the interior, where the whole window and one more tap on the left lie inside the
// line, through the reciprocal).
std::vector<int64_t> referencePass(const std::vector<int64_t>& d, const BoxWindow& w, bool sixteen)
{
    const int len = static_cast<int>(d.size());
    const int r = w.radius;
    const int64_t full = sixteen ? 65536 : 256;
    const int64_t c = static_cast<int64_t>(w.fraction * static_cast<float>(full));
    std::vector<int64_t> out(d.size());
    for (int i = 0; i < len; ++i) {
        int64_t h = 0, weight = 0;
        for (int j = i - r; j <= i + r; ++j) {
            if (j < 0 || j >= len)
                continue;
            const int64_t tap = (j == i - r || j == i + r) ? c : full;
            h += tap * d[j];
            weight += tap;
        }
        const bool interior = i >= r + 1 && i <= len - r - 1;
        out[i] = interior ? interiorQuotient(h, weight, sixteen) : h / weight;
    }
    return out;
}

void referenceBlur(fx::Image& image, const fx::Rect& rect, float horizontal, float vertical, int passes)
{
    const bool sixteen = image.bytesPerChannel == 2;
    for (int direction = 0; direction < 2; ++direction) {
        const bool rows = direction == 0;
        const int len = rows ? rect.width() : rect.height();
        const int count = rows ? rect.height() : rect.width();
        const BoxWindow w = referenceWindow((rows ? horizontal : vertical) * 0.5f, len);
        if (w.radius < 1)
            continue;
        for (int n = 0; n < count; ++n)
            for (int ch = 0; ch < image.channels; ++ch) {
                std::vector<int64_t> line(static_cast<std::size_t>(len));
                auto at = [&](int i) -> std::pair<int, int> {
                    return rows ? std::pair{rect.left + i, rect.top + n} : std::pair{rect.left + n, rect.top + i};
                };
                for (int i = 0; i < len; ++i)
                    line[i] = get(image, at(i).first, at(i).second, ch);
                for (int p = 0; p < passes; ++p)
                    line = referencePass(line, w, sixteen);
                for (int i = 0; i < len; ++i)
                    set(image, at(i).first, at(i).second, ch, static_cast<int32_t>(line[i]));
            }
    }
}

void blur(fx::Image& image, const fx::Rect& rect, float horizontal, float vertical, int extraPasses = 0)
{
    SeparableBlur b;
    b.setAmounts(horizontal, vertical);
    b.setPasses(extraPasses);
    b.blurRect(image, rect);
}

fx::Rect whole(const fx::Image& image) { return {0, 0, image.height, image.width}; }

// ---- Tests --------------------------------------------------------------------------------------

TEST(SeparableBlurWindow, RadiusAndFraction)
{
    struct Case { float half; int len; int radius; float fraction; };
    const Case cases[] = {
        {1.0f, 100, 2, 0.0f},     // amount 2: three full taps
        {1.5f, 100, 2, 0.5f},     // amount 3: three full taps, outer taps at 2 weighing a half
        {3.0f, 100, 4, 0.0f},     // a whole x gains one tap
        {0.25f, 100, 1, 0.25f},   // below one pixel: the centre plus two light taps
        {200.0f, 100, 49, 0.0f},  // limited to len / 2 - 1
        {7.3f, 12, 5, 0.3f},      // limited, fraction kept
        {5.0f, 12, 5, 0.0f},      // whole x at the limit stays at the limit
        {1.0f, 4, 1, 0.0f},       // the shortest line that is filtered
        {1.0f, 3, 0, 0.0f},       // too short: unchanged
        {0.0f, 100, 0, 0.0f},
        {-2.0f, 100, 0, 0.0f},
        {std::nanf(""), 100, 0, 0.0f},
        {INFINITY, 100, 49, 0.0f},
    };
    for (const Case& c : cases) {
        const BoxWindow w = imaging::boxWindow(c.half, c.len);
        EXPECT_EQ(w.radius, c.radius) << "x " << c.half << " len " << c.len;
        if (w.radius > 0) {
            EXPECT_NEAR(w.fraction, c.fraction, 1e-6) << "x " << c.half;
            const BoxWindow ref = referenceWindow(c.half, c.len);
            EXPECT_EQ(ref.radius, w.radius);
            EXPECT_EQ(ref.fraction, w.fraction);
        }
    }
}

TEST(SeparableBlurWindow, BorderForTiles)
{
    EXPECT_EQ(imaging::blurBorder(6.0f, 1), 9);      // r = 4 per pass, two passes, plus one
    EXPECT_EQ(imaging::blurBorder(4.2f, 1), 7);      // r = 3
    EXPECT_EQ(imaging::blurBorder(6.0f, 0), 6);      // never below ceil(amount)
    EXPECT_EQ(imaging::blurBorder(0.0f, 1), 0);
    EXPECT_EQ(imaging::blurBorder(std::nanf(""), 1), 0);
    EXPECT_EQ(imaging::blurBorder(INFINITY, 1), 1 << 28);
    EXPECT_EQ(imaging::blurBorder(1e6f, 1000000), 1 << 28);
}

// Amount 2: each interior output is the truncated average of three pixels; amount 3: the outer
// taps weigh 128 of 256, so interior outputs are (128 d[i-2] + 256 (d[i-1] + d[i] + d[i+1]) + 128 d[i+2]) / 1024.
TEST(SeparableBlur, InteriorOfAmountsTwoAndThree)
{
    for (int bpc : {1, 2}) {
        fx::ImageRef src = pixeltest::noise(40, 1, 1, bpc, 7);
        fx::ImageRef two = pixeltest::copyOf(*src);
        fx::ImageRef three = pixeltest::copyOf(*src);
        blur(*two, whole(*two), 2.0f, 0.0f);
        blur(*three, whole(*three), 3.0f, 0.0f);
        auto d = [&](int i) { return static_cast<int64_t>(get(*src, i, 0, 0)); };
        for (int i = 3; i < 37; ++i) {
            EXPECT_EQ(get(*two, i, 0, 0), (d(i - 1) + d(i) + d(i + 1)) / 3) << "i " << i << " bpc " << bpc;
            EXPECT_EQ(get(*three, i, 0, 0),
                      (128 * d(i - 2) + 256 * (d(i - 1) + d(i) + d(i + 1)) + 128 * d(i + 2)) / 1024)
                << "i " << i << " bpc " << bpc;
        }
        // The ends divide by the weight present: out[0] = (d0 + d1) / 2 for amount 2.
        EXPECT_EQ(get(*two, 0, 0, 0), (d(0) + d(1)) / 2);
        EXPECT_EQ(get(*two, 39, 0, 0), (d(38) + d(39)) / 2);
    }
}

// The blur against the reference over whole images and inset rects, 1 and 4 channels, 8 and 16 bits,
// one and two passes, whole and fractional amounts from sub-pixel to wider than the rect.
TEST(SeparableBlur, MatchesReferenceIncludingBorders)
{
    struct Case { int w, h; fx::Rect rect; float horizontal, vertical; };
    const Case cases[] = {
        {37, 23, {0, 0, 23, 37}, 2.0f, 3.0f},
        {37, 23, {0, 0, 23, 37}, 0.5f, 9.0f},
        {37, 23, {0, 0, 23, 37}, 5.3f, 0.0f},
        {37, 23, {0, 0, 23, 37}, 0.0f, 7.77f},
        {37, 23, {0, 0, 23, 37}, 40.0f, 40.0f},   // limited by the line length
        {64, 48, {5, 7, 40, 51}, 12.6f, 17.0f},   // inset rect: the rect edge is the line end
        {64, 48, {5, 7, 40, 51}, 1.0f, 2.5f},
        {9, 6, {0, 0, 6, 9}, 4.0f, 4.0f},         // short lines
        {12, 3, {0, 0, 3, 12}, 3.0f, 3.0f},       // columns of three stay unchanged
    };
    for (const Case& c : cases)
        for (int channels : {1, 4})
            for (int bpc : {1, 2})
                for (int extra : {0, 1}) {
                    fx::ImageRef actual = pixeltest::noise(c.w, c.h, channels, bpc, 99 + channels + bpc);
                    fx::ImageRef expected = pixeltest::copyOf(*actual);
                    blur(*actual, c.rect, c.horizontal, c.vertical, extra);
                    referenceBlur(*expected, c.rect, c.horizontal, c.vertical, extra + 1);
                    EXPECT_TRUE(pixeltest::samePixels(*actual, *expected))
                        << c.w << "x" << c.h << " amounts " << c.horizontal << "," << c.vertical
                        << " channels " << channels << " bpc " << bpc << " passes " << extra + 1;
                }
}

TEST(SeparableBlur, WideWindowsMatchReference)
{
    // Amounts whose 8-bit window needs the finer reciprocal, on lines long enough to have an interior.
    for (int bpc : {1, 2})
        for (float amount : {400.0f, 255.5f}) {
            fx::ImageRef actual = pixeltest::noise(700, 2, 1, bpc, 5);
            fx::ImageRef expected = pixeltest::copyOf(*actual);
            blur(*actual, whole(*actual), amount, 0.0f, 1);
            referenceBlur(*expected, whole(*expected), amount, 0.0f, 2);
            EXPECT_TRUE(pixeltest::samePixels(*actual, *expected)) << "amount " << amount << " bpc " << bpc;
        }
}

// Constant lines stay constant at both ends and in the interior, for every level that matters and
// for windows narrow and wide (a wide 8-bit window must not lift black).
TEST(SeparableBlur, ConstantLinesStayConstant)
{
    for (int bpc : {1, 2})
        for (int32_t v : {0, 1, 128, pixeltest::fullScale(bpc) - 1, pixeltest::fullScale(bpc)})
            for (float amount : {0.5f, 2.0f, 3.0f, 40.0f, 400.0f, 1001.3f}) {
                fx::ImageRef image = pixeltest::constant(1200, 9, 4, bpc, v);
                fx::ImageRef before = pixeltest::copyOf(*image);
                blur(*image, whole(*image), amount, amount, 1);
                EXPECT_TRUE(pixeltest::samePixels(*image, *before)) << "v " << v << " amount " << amount << " bpc " << bpc;
            }
}

TEST(SeparableBlur, NothingOutsideTheRectChangesAndZeroAmountsAreIdentity)
{
    for (int bpc : {1, 2}) {
        fx::ImageRef image = pixeltest::noise(30, 20, 4, bpc, 3);
        fx::ImageRef before = pixeltest::copyOf(*image);
        blur(*image, whole(*image), 0.0f, 0.0f, 1);
        EXPECT_TRUE(pixeltest::samePixels(*image, *before));

        const fx::Rect inner{4, 6, 15, 22};
        blur(*image, inner, 6.0f, 6.0f, 1);
        int changedInside = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x)
                for (int c = 0; c < 4; ++c) {
                    const bool inside = inner.contains(x, y);
                    if (!inside) {
                        ASSERT_EQ(get(*image, x, y, c), get(*before, x, y, c)) << x << "," << y;
                    } else {
                        changedInside += get(*image, x, y, c) != get(*before, x, y, c);
                    }
                }
        EXPECT_GT(changedInside, 0);
    }
}

TEST(SeparableBlur, RectsBeyondTheImageAndOddLayouts)
{
    fx::ImageRef image = pixeltest::noise(10, 8, 4, 1, 11);
    fx::ImageRef expected = pixeltest::copyOf(*image);
    blur(*image, {-5, -5, 100, 100}, 3.0f, 3.0f);
    referenceBlur(*expected, whole(*expected), 3.0f, 3.0f, 1);
    EXPECT_TRUE(pixeltest::samePixels(*image, *expected));
    blur(*image, {6, 6, 2, 2}, 3.0f, 3.0f);  // empty
    EXPECT_TRUE(pixeltest::samePixels(*image, *expected));

    // A bottom-up image blurs like the same pixels stored top-down.
    std::vector<uint8_t> block(static_cast<std::size_t>(10 * 8 * 4));
    fx::ImageRef upside(fx::Image::create(10, 8, 4, 1, -40, block.data()));
    fx::ImageRef source = pixeltest::noise(10, 8, 4, 1, 12);
    upside->copyPixels(*source);
    blur(*upside, whole(*upside), 4.5f, 2.0f);
    blur(*source, whole(*source), 4.5f, 2.0f);
    EXPECT_TRUE(pixeltest::samePixels(*upside, *source));

    fx::ImageRef twoChannels = fx::makeImage(4, 4, 2, 1);
    EXPECT_THROW(blur(*twoChannels, whole(*twoChannels), 2.0f, 2.0f), std::invalid_argument);
}

TEST(SeparableBlur, ScratchLineOnlyGrowsAndCopiesDoNotShareIt)
{
    SeparableBlur b;
    b.setAmounts(4.0f, 4.0f);
    fx::ImageRef big = pixeltest::noise(50, 20, 4, 2, 1);
    b.blurRect(*big, whole(*big));
    EXPECT_EQ(b.scratchCapacity(), 50 * 8);
    fx::ImageRef small = pixeltest::noise(10, 30, 1, 1, 1);
    b.blurRect(*small, whole(*small));
    EXPECT_EQ(b.scratchCapacity(), 50 * 8);
    fx::ImageRef tall = pixeltest::noise(10, 500, 1, 1, 1);
    b.blurRect(*tall, whole(*tall));
    EXPECT_EQ(b.scratchCapacity(), 500);

    SeparableBlur copy(b);
    EXPECT_EQ(copy.scratchCapacity(), 0);
    EXPECT_EQ(copy.horizontalAmount(), 4.0f);
    copy = b;
    EXPECT_EQ(copy.scratchCapacity(), 0);
}

} // namespace
