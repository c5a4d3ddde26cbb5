#include "imaging/grain/GrainEngine.h"

#include "framework/Image.h"
#include "framework/Parameter.h"
#include "framework/RenderInfo.h"
#include "imaging/PixelTestImages.h"
#include "imaging/color/ColorPrimitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using imaging::GrainEngine;
using imaging::GrainRandom;
using pixeltest::get;
using pixeltest::set;

namespace {

// One tile of a render over a whole image of width x height.
struct TileInfo : fx::HostRenderInfo {
    TileInfo(int32_t width, int32_t height, int32_t index = 0, int32_t count = 1, float scale = 1.0f)
    {
        imageWidth = width;
        imageHeight = height;
        tileIndex = index;
        tileCount = count;
        scaleX = scaleY = scale;
    }
};

// Full-response grey: luma8(127, 127, 127) = 127 sits in the flat top of the default response, so
// with an amount of 100 an 8-bit channel of 127 becomes exactly the noise sample.
constexpr int32_t kMidGrey8 = 127;

GrainEngine engineWith(double size, double amount, float softness = 0.0f)
{
    GrainEngine engine;
    engine.setSizes(size, size, size);
    engine.setAmounts(amount, amount, amount);
    engine.setSoftness(softness, softness, softness);
    engine.setResponse(50, 80, 20);
    return engine;
}

std::vector<uint8_t> samples(uint32_t seed, std::size_t count)
{
    GrainRandom random(seed);
    std::vector<uint8_t> out(count);
    for (uint8_t& s : out)
        s = random.sample();
    return out;
}

} // namespace

TEST(GrainRandom, FirstDrawsOfKnownSeeds)
{
    const struct { uint32_t seed; int32_t draws[6]; } cases[] = {
        {0, {38, 7719, 21238, 2437, 8855, 11797}},
        {1, {41, 18467, 6334, 26500, 19169, 15724}},
        {3, {48, 7196, 9294, 9091, 7031, 23577}},
    };
    for (const auto& c : cases) {
        GrainRandom random(c.seed);
        for (int32_t expected : c.draws)
            EXPECT_EQ(random.draw(), expected) << "seed " << c.seed;
        random.seed(c.seed);
        EXPECT_EQ(random.sample(), c.draws[0] / 128);
    }
}

TEST(GrainRandom, FillMatchesSingleSamplesAndLeavesTheSameState)
{
    for (std::size_t count : {0u, 1u, 7u, 8u, 9u, 16u, 100u, 1001u}) {
        GrainRandom one(12345), many(12345);
        std::vector<uint8_t> expected(count), got(count);
        for (uint8_t& s : expected)
            s = one.sample();
        many.fill(got.data(), count);
        EXPECT_EQ(got, expected) << count;
        EXPECT_EQ(many.state(), one.state()) << count;
    }
}

TEST(GrainEngine, DefaultResponseTable)
{
    GrainEngine engine;  // response 50 / 80 / 20
    const uint8_t* r = engine.response();
    // The curve only reaches its minimum outside 0..1, so the ends hold 65; the natural spline
    // overshoots the clamp in the middle.
    EXPECT_EQ(r[0], 65);
    EXPECT_EQ(r[255], 65);
    for (int i = 96; i <= 159; ++i)
        EXPECT_EQ(r[i], 255) << i;
    // 0.1 and 0.9 (the nodes at m + 0.2 = 0.4): 102; 0.3 and 0.7: 228 lies between the two
    // neighbouring levels 76/255 and 77/255.
    EXPECT_EQ(r[26], 102);
    EXPECT_EQ(r[229], 102);
    EXPECT_EQ(r[76], 227);
    EXPECT_EQ(r[77], 229);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(r[i], r[255 - i]) << "symmetric about the position 0.5";

    engine.setResponse(50, 80, 100);  // minimum 1: flat at full weight
    EXPECT_EQ(engine.response()[0], 255);
}

TEST(GrainEngine, CellSizesFollowTheScale)
{
    GrainEngine engine = engineWith(2, 100);
    engine.setScale(0.5, 0.5);
    EXPECT_TRUE(engine.cells(0).fine()) << "size 2 at preview zoom 0.5: one-pixel cells";
    engine.setScale(1, 1);
    EXPECT_TRUE(engine.cells(0).coarse());
    EXPECT_EQ(engine.cells(0).x, 2);
    EXPECT_EQ(engine.cells(0).y, 2);
    engine.setScale(1, 0.5);
    EXPECT_FALSE(engine.cells(0).fine());
    EXPECT_FALSE(engine.cells(0).coarse());
    engine.setSizes(-3, std::numeric_limits<double>::quiet_NaN(), 1e300);
    EXPECT_TRUE(engine.cells(0).fine());
    EXPECT_TRUE(engine.cells(1).fine());
    EXPECT_EQ(engine.cells(2).x, std::numeric_limits<int32_t>::max());
}

// With the full-response grey and amount 100, each 8-bit channel shows its noise sample directly:
// fine noise of channel c in tile t is the sequence seeded with c + t * (c + 1), row by row.
TEST(GrainEngine, FineNoiseIsSeededByChannelAndTile)
{
    const int w = 9, h = 5;
    for (int32_t tile : {0, 3}) {
        fx::ImageRef image = pixeltest::constant(w, h, 4, 1, kMidGrey8);
        GrainEngine engine = engineWith(1, 100);
        engine.render(*image, {0, 0, h, w}, TileInfo(w, h, tile, 4), false);
        for (int c = 0; c < 3; ++c) {
            const std::vector<uint8_t> expected = samples(static_cast<uint32_t>(c + tile * (c + 1)), w * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(get(*image, x, y, c), expected[y * w + x]) << tile << " " << c << " " << x << "," << y;
        }
    }
}

// Coarse grids: one sample per cell of the whole image, seeded with the channel; a pixel sitting on
// a cell position takes the cell's sample, pixels between take the interpolation.
TEST(GrainEngine, CoarseGridIsWholeImageAndInterpolated)
{
    const int w = 12, h = 8;  // size 2: a 6 x 4 grid, cell (i, j) at pixel (2i, 2j)
    fx::ImageRef image = pixeltest::constant(w, h, 4, 1, kMidGrey8);
    GrainEngine engine = engineWith(2, 100);
    // The second of three tiles, covering rows 4..7 of an image whose buffer starts at row 3.
    fx::ImageRef band = fx::makeImage(w, 5, 4, 1);
    band->bounds = {3, 0, 8, w};
    for (int y = 0; y < 5; ++y)
        std::memcpy(band->row(y), image->row(y + 3), static_cast<std::size_t>(w) * 4);
    engine.render(*band, {1, 0, 5, w}, TileInfo(w, h, 0, 3), false);
    EXPECT_TRUE(engine.hasGrid(0)) << "kept until the last tile";

    for (int c = 0; c < 3; ++c) {
        const std::vector<uint8_t> grid = samples(static_cast<uint32_t>(c), 6 * 4);
        auto cell = [&](int i, int j) { return grid[std::min(j, 3) * 6 + std::min(i, 5)]; };
        for (int y = 4; y < 8; ++y)
            for (int x = 0; x < w; ++x) {
                const int i = x / 2, j = y / 2;
                const float fx = (x % 2) * 0.5f, fy = (y % 2) * 0.5f;
                // beyond the last cell the edge is clamped
                const float a = cell(i, j) + (i < 5 ? fx : 0.0f) * (cell(i + 1, j) - cell(i, j));
                const float b = cell(i, j + 1) + (i < 5 ? fx : 0.0f) * (cell(i + 1, j + 1) - cell(i, j + 1));
                const int expected = static_cast<int>(a + (j < 3 ? fy : 0.0f) * (b - a));
                ASSERT_EQ(get(*band, x, y - 3, c), expected) << c << " " << x << "," << y;
            }
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(get(*band, x, 0, c), kMidGrey8) << "row above the rect untouched";
    }
    engine.render(*band, {1, 0, 5, w}, TileInfo(w, h, 2, 3), false);
    EXPECT_FALSE(engine.hasGrid(0)) << "freed after the last tile";
}

// The colour and monochrome formulas against a direct transcription, 8- and 16-bit, on noise
// images (A included) with fine noise of tile 1.
TEST(GrainEngine, ApplicationMatchesTheFormulas)
{
    const int w = 23, h = 11;
    const double amounts[3] = {0.37, 0.8, 1.0};
    for (int bpc : {1, 2}) {
        for (bool mono : {false, true}) {
            const fx::ImageRef source = pixeltest::noise(w, h, 4, bpc, 7u + bpc);
            fx::ImageRef image = pixeltest::copyOf(*source);
            GrainEngine engine;
            engine.setAmounts(amounts[0] * 100, amounts[1] * 100, amounts[2] * 100);
            engine.render(*image, {0, 0, h, w}, TileInfo(w, h, 1, 2), mono);
            const uint8_t* response = engine.response();
            const int32_t full = pixeltest::fullScale(bpc);

            std::vector<uint8_t> noise[3];
            for (int c = 0; c < 3; ++c)
                noise[c] = samples(static_cast<uint32_t>(c + 1 * (c + 1)), w * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int32_t r = get(*source, x, y, 0), g = get(*source, x, y, 1), b = get(*source, x, y, 2);
                    float weight;
                    if (bpc == 1)
                        weight = response[imaging::luma8(r, g, b)] * (1.0f / 255.0f);
                    else
                        weight = response[static_cast<int>((imaging::luma16(r, g, b) + 64) * 0.007782101167315175) & 255] / 255.0f;
                    int32_t expected[4];
                    if (!mono) {
                        for (int c = 0; c < 3; ++c) {
                            const float a = static_cast<float>(bpc == 1 ? amounts[c] : amounts[c] * 128);
                            const int32_t v = static_cast<int32_t>(a * (weight * (noise[c][y * w + x] - 127)) +
                                                                   static_cast<float>(get(*source, x, y, c)));
                            expected[c] = std::clamp(v, 0, full);
                        }
                        expected[3] = get(*source, x, y, 3);
                    } else {
                        const int n = noise[0][y * w + x];
                        const int d = n >= 127 ? n - 127 : 127 - n;
                        const double spread = bpc == 1 ? d : static_cast<int>(d * 128.5 + 0.5);
                        const int64_t k = static_cast<int64_t>(amounts[0] * (weight * static_cast<float>(spread)));
                        const int64_t target = n >= 128 ? full : 0;
                        for (int c = 0; c < 4; ++c) {
                            const int64_t v = get(*source, x, y, c);
                            expected[c] = static_cast<int32_t>(
                                c < 3 ? (target * k + v * (full - k)) / full : k + v * (full - k) / full);
                        }
                    }
                    for (int c = 0; c < 4; ++c)
                        ASSERT_EQ(get(*image, x, y, c), expected[c])
                            << "bpc " << bpc << " mono " << mono << " at " << x << "," << y << " channel " << c;
                }
        }
    }
}

// A noise sample of 127 never changes a pixel: tiles one pixel high or wide get no fine grain, and
// a cell size of 1 in exactly one direction gives neutral noise.
TEST(GrainEngine, NeutralNoiseLeavesPixelsUnchanged)
{
    const int w = 16, h = 9;
    for (int bpc : {1, 2}) {
        for (bool mono : {false, true}) {
            const fx::ImageRef source = pixeltest::noise(w, h, 4, bpc, 99u);
            const struct { fx::Rect rect; double size; double scaleX; const char* what; } cases[] = {
                {{4, 0, 5, w}, 1, 1, "one-pixel-high tile"},
                {{0, 6, h, 7}, 1, 1, "one-pixel-wide tile"},
                {{0, 0, h, w}, 1, 2, "cells 2 x 1"},
            };
            for (const auto& c : cases) {
                fx::ImageRef image = pixeltest::copyOf(*source);
                GrainEngine engine = engineWith(c.size, 100);
                engine.setScale(c.scaleX, 1);
                TileInfo info(w, h, 1, 3);
                engine.render(*image, c.rect, info, mono);
                EXPECT_TRUE(pixeltest::samePixels(*image, *source)) << c.what << " bpc " << bpc << " mono " << mono;
            }
        }
    }
}

TEST(GrainEngine, MonochromeGrainsAllChannelsEqually)
{
    const int w = 32, h = 6;
    for (int bpc : {1, 2}) {
        fx::ImageRef image = fx::makeImage(w, h, 4, bpc);
        const int32_t full = pixeltest::fullScale(bpc);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c)
                    set(*image, x, y, c, (x * full) / (w - 1));
        const fx::ImageRef before = pixeltest::copyOf(*image);
        GrainEngine engine;
        engine.setAmounts(60, 0, 0);
        engine.render(*image, {0, 0, h, w}, TileInfo(w, h), true);
        int changed = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                EXPECT_EQ(get(*image, x, y, 1), get(*image, x, y, 0));
                EXPECT_EQ(get(*image, x, y, 2), get(*image, x, y, 0));
                changed += get(*image, x, y, 0) != get(*before, x, y, 0);
            }
        EXPECT_GT(changed, w * h / 2) << bpc;
    }
}

// Softness blurs the noise: a soft grain stays closer to the grey than a hard one.
TEST(GrainEngine, SoftnessSmoothsTheNoise)
{
    const int w = 40, h = 40;
    auto spread = [&](double size, float softness) {
        fx::ImageRef image = pixeltest::constant(w, h, 4, 1, kMidGrey8);
        GrainEngine engine = engineWith(size, 100, softness);
        engine.render(*image, {0, 0, h, w}, TileInfo(w, h), false);
        double sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                sum += std::abs(get(*image, x, y, 1) - kMidGrey8);
        return sum / (w * h);
    };
    for (double size : {1.0, 2.0}) {
        const double hard = spread(size, 0), soft = spread(size, 4);
        EXPECT_GT(hard, 20) << size;
        EXPECT_LT(soft, hard / 2) << size;
    }
}

// Unchecked stored values: sizes larger than the image, negative, NaN and huge amounts and
// softness still render inside the channel range.
TEST(GrainEngine, OddSettingsStayInRange)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct { double size; double amount; float softness; } cases[] = {
        {50, 100, 0}, {4, 1e9, 3}, {2, -500, 0}, {nan, nan, 0}, {3, 100, std::numeric_limits<float>::infinity()},
    };
    for (int bpc : {1, 2})
        for (bool mono : {false, true})
            for (const auto& c : cases) {
                fx::ImageRef image = pixeltest::noise(5, 3, 4, bpc, 5u);
                GrainEngine engine = engineWith(c.size, c.amount, c.softness);
                engine.render(*image, {-4, -4, 40, 40}, TileInfo(5, 3), mono);
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 5; ++x)
                        for (int k = 0; k < 3; ++k) {
                            EXPECT_GE(get(*image, x, y, k), 0);
                            EXPECT_LE(get(*image, x, y, k), pixeltest::fullScale(bpc));
                        }
            }
    fx::ImageRef grey = fx::makeImage(4, 4, 1, 1);
    GrainEngine engine;
    EXPECT_THROW(engine.render(*grey, {0, 0, 4, 4}, TileInfo(4, 4), false), std::invalid_argument);
}

TEST(GrainParameters, BlockFollowsTheEngineAndReadsBack)
{
    GrainEngine engine;
    engine.setSizes(2, 3, 4);
    engine.setSoftness(0.5f, 0, 1);
    fx::Parameter block[imaging::kGrainParameterCount];
    imaging::defineGrainParameters(block, engine);

    const struct { const char* key; const char* label; fx::ParamKind kind; double max; double def; uint32_t marks; } rows[] = {
        {"grainRSize", "Red Size", fx::ParamKind::Range, 10, 2, 0x100 | 0x2000},
        {"grainGSize", "Green Size", fx::ParamKind::Range, 10, 3, 0x200 | 0x2000},
        {"grainBSize", "Blue Size", fx::ParamKind::Range, 10, 4, 0x400 | 0x2000},
        {"grainRAmount", "Red Amount", fx::ParamKind::Range, 100, 15, 0x100 | 0x4000},
        {"grainGAmount", "Green Amount", fx::ParamKind::Range, 100, 15, 0x200 | 0x4000},
        {"grainBAmount", "Blue Amount", fx::ParamKind::Range, 100, 15, 0x400 | 0x4000},
        {"grainRSoftness", "Red Softness", fx::ParamKind::Range, 100, 0.5, 0x100},
        {"grainGSoftness", "Green Softness", fx::ParamKind::Range, 100, 0, 0x200},
        {"grainBSoftness", "Blue Softness", fx::ParamKind::Range, 100, 1, 0x400},
        {"grainResponse", "Film Response", fx::ParamKind::GroupBegin, 0, 0, 0x100 | fx::ParamFlag::GroupState},
        {"grainPos", "Position", fx::ParamKind::Range, 100, 50, 0},
        {"grainRange", "Range", fx::ParamKind::Range, 100, 80, 0},
        {"grainMin", "Minimum", fx::ParamKind::Range, 100, 20, 0},
        {nullptr, nullptr, fx::ParamKind::GroupEnd, 0, 0, 0},
    };
    for (int i = 0; i < imaging::kGrainParameterCount; ++i) {
        const fx::Parameter& p = block[i];
        const auto& row = rows[i];
        EXPECT_EQ(p.kind, row.kind) << i;
        if (row.key) {
            EXPECT_STREQ(p.key, row.key);
            EXPECT_STREQ(p.label, row.label);
        }
        EXPECT_EQ(p.flags & ~fx::ParamFlag::Initial, row.marks) << i;
        if (row.kind == fx::ParamKind::Range) {
            EXPECT_EQ(p.range.minimum, i < 3 ? 1 : 0) << i;
            EXPECT_EQ(p.range.maximum, row.max) << i;
            EXPECT_DOUBLE_EQ(p.range.defaultValue, row.def) << i;
        }
    }

    const double values[] = {3, 1, 2, 40, 0, 10, 0.25, 0, 2, 0, 30, 60, 10};
    for (int i = 0; i < 13; ++i)
        if (block[i].kind == fx::ParamKind::Range)
            block[i].range.current = values[i];
    GrainEngine read;
    imaging::readGrainParameters(block, read);
    EXPECT_EQ(read.size(0), 3);
    EXPECT_EQ(read.size(2), 2);
    EXPECT_DOUBLE_EQ(read.amount(0), 0.4);
    EXPECT_EQ(read.amount(1), 0);
    EXPECT_EQ(read.softness(0), 0.25f);
    EXPECT_DOUBLE_EQ(read.position(), 0.3);
    EXPECT_DOUBLE_EQ(read.range(), 0.6);
    EXPECT_DOUBLE_EQ(read.minimum(), 0.1);
    EXPECT_TRUE(read.anyAmount());
    read.setAmounts(0, 0, 0);
    EXPECT_FALSE(read.anyAmount());
}
