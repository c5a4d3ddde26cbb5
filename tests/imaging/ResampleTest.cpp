#include "imaging/resample/Resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

using imaging::findFilter;
using fx::ImageRef;
using imaging::ImageRowAccess;
using imaging::WeightTable;
using imaging::ZoomWindow;

namespace {

ZoomWindow whole(const fx::Image& image) { return {0, 0, image.width - 1, image.height - 1}; }

int valueAt(const fx::Image& image, int x, int y, int c)
{
    return image.bytesPerChannel == 2 ? image.rowAs<uint16_t>(y)[x * image.channels + c]
                                      : image.row(y)[x * image.channels + c];
}

void setValue(fx::Image& image, int x, int y, int c, int v)
{
    if (image.bytesPerChannel == 2)
        image.rowAs<uint16_t>(y)[x * image.channels + c] = static_cast<uint16_t>(v);
    else
        image.row(y)[x * image.channels + c] = static_cast<uint8_t>(v);
}

ImageRef pattern(int w, int h, int channels, int bpc)
{
    ImageRef image = fx::makeImage(w, h, channels, bpc);
    const int full = bpc == 2 ? 32768 : 255;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                setValue(*image, x, y, c, (x * 53 + y * 97 + c * 31) % (full + 1));
    return image;
}

TEST(ResampleFilters, TableAndKernels)
{
    int count = 0;
    const imaging::ResampleFilter* table = imaging::resampleFilters(&count);
    ASSERT_EQ(count, 14);
    const char* names[] = {"point", "box", "triangle", "quadratic", "cubic", "catrom", "mitchell",
                           "gaussian", "sinc", "bessel", "hanning", "hamming", "blackman", "kaiser"};
    for (int i = 0; i < count; ++i) {
        EXPECT_STREQ(table[i].name, names[i]);
        EXPECT_EQ(findFilter(names[i]), &table[i]);
        EXPECT_EQ(table[i].blur, 1.0);
    }
    EXPECT_EQ(findFilter("Triangle"), nullptr);
    EXPECT_EQ(findFilter("tri"), nullptr);
    EXPECT_EQ(findFilter(nullptr), nullptr);

    struct { const char* name; double x; double expect; } values[] = {
        {"box", -0.5, 1}, {"box", 0.5, 0}, {"triangle", -0.25, 0.75}, {"quadratic", 1.0, 0.125},
        {"cubic", 0.0, 4 * 0.16666666666666666}, {"catrom", 1.5, 0}, {"catrom", 0.5, 0.5625},
        {"mitchell", 1.5, -0.034722222222222224}, {"gaussian", 0.0, std::sqrt(0.6366197723675814)},
        {"sinc", 0.0, 1}, {"sinc", 1.5, 0}, {"bessel", 0.0, 0}, {"hanning", 0.5, 0.5},
        {"hamming", 1.0, 0.08}, {"blackman", 0.0, 1.0}, {"kaiser", 0.0, 1.0},
    };
    for (const auto& v : values) {
        const imaging::ResampleFilter* f = findFilter(v.name);
        EXPECT_NEAR(f->kernel(v.x, f->clientData), v.expect, 1e-12) << v.name << " at " << v.x;
    }
    const imaging::ResampleFilter* kaiser = findFilter("kaiser");
    EXPECT_NEAR(kaiser->kernel(1.0, kaiser->clientData), 1.0 / 69.0, 0.01);  // 1 / I0(6.5)
}

TEST(WeightTable, HalvingWithTriangle)
{
    const imaging::ResampleFilter& tri = *findFilter("triangle");
    WeightTable t;
    t.add(tri, 1.0, 2.0, 2.0, 100, true);  // first destination pixel: three source pixels
    t.add(tri, 3.0, 2.0, 2.0, 100, true);  // interior: four
    ASSERT_EQ(t.size(), 2);
    EXPECT_EQ(t.first[0], 0);
    EXPECT_EQ(t.end[0], 3);
    EXPECT_EQ(std::vector<int>(t.weights.begin(), t.weights.begin() + 3), (std::vector<int>{7022, 7021, 2341}));
    EXPECT_EQ(t.first[1], 1);
    EXPECT_EQ(t.end[1], 5);
    EXPECT_EQ(std::vector<int>(t.weights.begin() + t.offset[1], t.weights.end()),
              (std::vector<int>{2048, 6144, 6144, 2048}));
    EXPECT_EQ(t.maxSpan, 4);

    // An all-zero kernel takes the single pixel in the middle of the range.
    WeightTable b;
    b.add(*findFilter("bessel"), 10.5, 1.0, 3.2383, 100, false);
    EXPECT_EQ(b.first[0], 10);  // the range is 7..13
    EXPECT_EQ(b.end[0], 11);
    EXPECT_EQ(b.weights, std::vector<int>{16384});

    // An empty range is an internal error, not a crash.
    WeightTable e;
    EXPECT_THROW(e.add(tri, -10.0, 1.0, 1.0, 5, false), std::logic_error);
}

TEST(ZoomRect, HalvingARampIsExact)
{
    // One row of 8 pixels halved to 4 with the triangle filter: the interior pixels average four
    // source pixels 1:3:3:1, the first one three.
    ImageRef src = fx::makeImage(8, 1, 1, 1);
    for (int x = 0; x < 8; ++x)
        setValue(*src, x, 0, 0, 10 * x);
    ImageRef dst = fx::makeImage(4, 1, 1, 1);
    ImageRowAccess s(*src), d(*dst);
    imaging::zoomRect(s, whole(*src), d, whole(*dst), *findFilter("triangle"), *findFilter("triangle"));
    EXPECT_EQ(valueAt(*dst, 0, 0, 0), 7);   // (0*7022 + 10*7021 + 20*2341) / 16384 = 7.1
    EXPECT_EQ(valueAt(*dst, 1, 0, 0), 25);  // (10 + 3*20 + 3*30 + 40) / 8
    EXPECT_EQ(valueAt(*dst, 2, 0, 0), 45);
}

TEST(ZoomRect, OneToOneCopiesAndNearestDuplicates)
{
    for (int bpc : {1, 2})
        for (int channels : {1, 4}) {
            ImageRef src = pattern(13, 9, channels, bpc);
            ImageRef dst = fx::makeImage(13, 9, channels, bpc);
            ImageRowAccess s(*src), d(*dst);
            imaging::zoomRect(s, whole(*src), d, whole(*dst), *findFilter("triangle"), *findFilter("triangle"));
            for (int y = 0; y < 9; ++y)
                ASSERT_EQ(std::memcmp(src->row(y), dst->row(y), static_cast<std::size_t>(13) * src->bytesPerPixel), 0);

            ImageRef big = fx::makeImage(26, 18, channels, bpc);
            ImageRowAccess b(*big);
            imaging::zoomRect(s, whole(*src), b, whole(*big), *findFilter("point"), *findFilter("box"));
            for (int y = 0; y < 18; ++y)
                for (int x = 0; x < 26; ++x)
                    ASSERT_EQ(valueAt(*big, x, y, channels - 1), valueAt(*src, x / 2, y / 2, channels - 1));
        }
}

TEST(ZoomRect, ConstantStaysConstantUnderEveryFilterAndScale)
{
    int count = 0;
    const imaging::ResampleFilter* filters = imaging::resampleFilters(&count);
    const int sizes[][2] = {{7, 5}, {16, 11}, {40, 3}};
    for (int bpc : {1, 2}) {
        const int level = bpc == 2 ? 32768 : 255;
        ImageRef src = fx::makeImage(16, 11, 4, bpc);
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 16; ++x)
                for (int c = 0; c < 4; ++c)
                    setValue(*src, x, y, c, c == 3 ? level : level - 1 - c);
        ImageRowAccess s(*src);
        for (int f = 0; f < count; ++f)
            for (const auto& size : sizes) {
                ImageRef dst = fx::makeImage(size[0], size[1], 4, bpc);
                ImageRowAccess d(*dst);
                imaging::zoomRect(s, whole(*src), d, whole(*dst), filters[f], filters[(f + 3) % count]);
                // 8-bit is exact; 16-bit passes keep the value in quarters between the two passes,
                // so a constant may move by up to 3 levels.
                const int tolerance = bpc == 2 ? 3 : 0;
                for (int y = 0; y < size[1]; ++y)
                    for (int x = 0; x < size[0]; ++x)
                        for (int c = 0; c < 4; ++c)
                            ASSERT_NEAR(valueAt(*dst, x, y, c), c == 3 ? level : level - 1 - c, tolerance)
                                << filters[f].name << " " << size[0] << "x" << size[1] << " bpc " << bpc;
            }
    }
}

TEST(ZoomRect, NegativeLobesClampInsteadOfWrapping)
{
    // A hard black/white edge magnified with mitchell overshoots below 0 and above full scale.
    for (int bpc : {1, 2}) {
        const int full = bpc == 2 ? 32768 : 255;
        ImageRef src = fx::makeImage(8, 8, 1, bpc);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                setValue(*src, x, y, 0, x < 4 ? 0 : full);
        for (int w : {3, 29}) {
            ImageRef dst = fx::makeImage(w, 8, 1, bpc);
            ImageRowAccess s(*src), d(*dst);
            imaging::zoomRect(s, whole(*src), d, whole(*dst), *findFilter("mitchell"), *findFilter("mitchell"));
            for (int x = 0; x < w; ++x) {
                const int v = valueAt(*dst, x, 4, 0);
                EXPECT_LE(v, full);
                if (x < w / 4) {
                    EXPECT_LT(v, full / 4) << "x " << x << " width " << w;
                }
            }
        }
    }
}

TEST(ZoomRect, OntoItselfMatchesASeparateDestination)
{
    for (bool magnify : {true, false}) {
        ImageRef image = pattern(24, 20, 4, 1);
        ImageRef copy = fx::makeImage(24, 20, 4, 1);
        copy->copyPixels(*image);
        const ZoomWindow from = magnify ? ZoomWindow{2, 3, 13, 12} : ZoomWindow{0, 0, 23, 19};
        const ZoomWindow to = magnify ? ZoomWindow{0, 0, 23, 19} : ZoomWindow{4, 5, 15, 14};

        ImageRef expected = fx::makeImage(24, 20, 4, 1);
        expected->copyPixels(*image);
        ImageRowAccess c(*copy), e(*expected), self(*image);
        imaging::zoomRect(c, from, e, to, *findFilter("catrom"), *findFilter("triangle"));
        imaging::zoomRect(self, from, self, to, *findFilter("catrom"), *findFilter("triangle"));
        for (int y = 0; y < 20; ++y)
            ASSERT_EQ(std::memcmp(image->row(y), expected->row(y), 24 * 4), 0) << "row " << y;
    }
}

TEST(ZoomRect, WindowsOutsideTheImagesAreClippedSafely)
{
    ImageRef src = pattern(10, 10, 4, 2);
    ImageRef dst = fx::makeImage(6, 6, 4, 2);
    std::memset(dst->data, 0, static_cast<std::size_t>(dst->rowBytes) * 6);
    ImageRowAccess s(*src), d(*dst);
    imaging::zoomRect(s, ZoomWindow{-5, -5, 14, 14}, d, ZoomWindow{-3, -2, 8, 9}, *findFilter("gaussian"),
                 *findFilter("cubic"));
    imaging::zoomRect(s, ZoomWindow{3, 3, 2, 2}, d, whole(*dst), *findFilter("box"), *findFilter("box"));  // empty
    imaging::zoomRect(s, ZoomWindow{20, 20, 30, 30}, d, whole(*dst), *findFilter("box"), *findFilter("box"));
    ImageRef grey = fx::makeImage(6, 6, 1, 2);
    ImageRowAccess g(*grey);
    EXPECT_THROW(imaging::zoomRect(s, whole(*src), g, whole(*grey), *findFilter("box"), *findFilter("box")),
                 std::invalid_argument);
}

} // namespace
