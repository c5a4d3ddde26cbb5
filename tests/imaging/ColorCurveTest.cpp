#include "imaging/color/SplineCurve.h"
#include "imaging/color/LinearLight.h"

#include "framework/Image.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace imaging;

TEST(SplineCurve, EmptyTwoNodeAndSplineValues)
{
    SplineCurve none;
    EXPECT_EQ(none.value(1.7), 1.7);  // no nodes, never clamped before setPoints

    SplineCurve line;
    const CurvePoint two[2] = {{0.2, 0.1}, {0.6, 0.9}};
    line.setPoints(two, 2);
    EXPECT_DOUBLE_EQ(line.value(0.4), 0.5);
    EXPECT_EQ(line.value(0.0), 0.1);  // below the first node: its value
    EXPECT_EQ(line.value(0.9), 0.9);

    // Natural spline through (0,0), (0.5,1), (1,0): M1 = -12, so value(0.25) = 0.6875.
    SplineCurve arch;
    const CurvePoint three[3] = {{0, 0}, {0.5, 1}, {1, 0}};
    arch.setPoints(three, 3);
    EXPECT_DOUBLE_EQ(arch.value(0.25), 0.6875);
    EXPECT_DOUBLE_EQ(arch.value(0.75), 0.6875);
    EXPECT_DOUBLE_EQ(arch.value(0.5), 1.0);

    // A spline that overshoots is clamped to 0..1.
    SplineCurve steep;
    const CurvePoint four[4] = {{0, 0}, {0.1, 1}, {0.2, 1}, {1, 0}};
    steep.setPoints(four, 4);
    for (double x = 0; x <= 1; x += 0.01) {
        EXPECT_GE(steep.value(x), 0.0);
        EXPECT_LE(steep.value(x), 1.0);
    }
}

TEST(SplineCurve, DegenerateNodesStayFinite)
{
    SplineCurve curve;
    const CurvePoint dup[4] = {{0, 0}, {0.5, 0.3}, {0.5, 0.8}, {1, 1}};
    curve.setPoints(dup, 4);
    for (double x = 0; x <= 1; x += 0.05) {
        const double v = curve.value(x);
        EXPECT_TRUE(v >= 0 && v <= 1) << x;
    }
    const CurvePoint backwards[3] = {{1, 1}, {0.5, 0.5}, {0, 0}};
    curve.setPoints(backwards, 3);
    std::vector<uint8_t> t(256);
    buildCurveTable8(t.data(), curve);  // must not read or divide outside the nodes
}

TEST(SplineCurve, IdentityCurveGivesIdentityTables)
{
    SplineCurve id;
    const CurvePoint pts[2] = {{0, 0}, {1, 1}};
    id.setPoints(pts, 2);
    EXPECT_TRUE(id.isIdentity());
    std::vector<uint8_t> t8(256);
    std::vector<uint16_t> t16(32769);
    buildCurveTable8(t8.data(), id);
    buildCurveTable16(t16.data(), id);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t8[i], i);
    for (int i = 0; i <= 32768; ++i)
        ASSERT_EQ(t16[i], i);

    // A near-identity curve is tabulated by truncation.
    SplineCurve half;
    const CurvePoint hp[2] = {{0, 0}, {1, 0.5}};
    half.setPoints(hp, 2);
    EXPECT_FALSE(half.isIdentity());
    buildCurveTable8(t8.data(), half);
    EXPECT_EQ(t8[255], 127);
    EXPECT_EQ(t8[3], 1);
}

TEST(RangeWeight, PeakAtPositionZeroOutsideAndZeroRange)
{
    std::vector<uint16_t> w(32769);
    buildRangeWeightTable<fx::Channel16>(w.data(), 0.5, 0.25);
    EXPECT_EQ(w[16384], 32768);
    for (int i = 0; i <= 8192; ++i)
        ASSERT_EQ(w[i], 0) << i;  // at or below p - r
    for (int i = 24576; i <= 32768; ++i)
        ASSERT_EQ(w[i], 0) << i;
    EXPECT_EQ(w[12288], w[20480]);  // symmetric: 0.2 at p -/+ r/2
    EXPECT_EQ(w[12288], static_cast<uint16_t>(0.2 * 32768));

    std::vector<uint8_t> w8(256, 7);
    buildRangeWeightTable<fx::Channel8>(w8.data(), 0.5, 0.0);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(w8[i], 0) << i;
    // Highlights at the default (1.0, 0.8): full weight at white, none at and below 0.2.
    buildRangeWeightTable<fx::Channel8>(w8.data(), 1.0, 0.8);
    EXPECT_EQ(w8[255], 255);
    EXPECT_EQ(w8[51], 0);
}

TEST(LinearLight, TableEndpointsAndKnownLevels)
{
    const LinearLightTables& t = linearLightTables();
    EXPECT_EQ(&t, &linearLightTables());  // built once
    EXPECT_EQ(t.decode8[0], 0);
    EXPECT_EQ(t.decode8[255], 32768);
    EXPECT_EQ(t.decode16[0], 0);
    EXPECT_EQ(t.decode16[32768], 32768);
    EXPECT_EQ(t.encode8[0], 0);
    // Linear segment: 10/255 <= 0.04045, so 10 * (1/255) * 0.07739938 * 32768.
    EXPECT_EQ(t.decode8[10], 99);
    // Mid grey: 0.5 of linear light encodes to about 188 of 255.
    EXPECT_EQ(t.encode8[16384], 187);
    // Truncation in both directions: an 8-bit level comes back one lower through the tables.
    EXPECT_EQ(t.encode8[t.decode8[128]], 127);
    EXPECT_EQ(t.encode8[2 * t.decode8[128]], 175);  // twice the light of mid grey
    for (int i = 1; i <= 32768; ++i)
        ASSERT_LE(t.encode16[i - 1], t.encode16[i]);
}

TEST(LinearLight, WholeImageConversionsTouchEveryChannel)
{
    fx::ImageRef src = fx::makeImage(3, 2, 4, 1);
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 12; ++i)
            src->row(y)[i] = static_cast<uint8_t>(20 * i + y);
    fx::ImageRef lin = fx::makeImage(3, 2, 4, 2);
    toLinear(*src, *lin);
    const LinearLightTables& t = linearLightTables();
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 12; ++i)
            ASSERT_EQ(lin->rowAs<uint16_t>(y)[i], t.decode8[20 * i + y]);

    fx::ImageRef back8 = fx::makeImage(3, 2, 4, 1);
    fromLinear(*lin, *back8);
    EXPECT_EQ(back8->row(1)[11], t.encode8[t.decode8[221]]);

    // 16-bit levels beyond full scale are read as full scale.
    lin->rowAs<uint16_t>(0)[0] = 65535;
    fx::ImageRef back16 = fx::makeImage(3, 2, 4, 2);
    fromLinear(*lin, *back16);
    EXPECT_EQ(back16->rowAs<uint16_t>(0)[0], t.encode16[32768]);

    fx::ImageRef wrongSize = fx::makeImage(2, 2, 4, 2);
    EXPECT_THROW(toLinear(*src, *wrongSize), std::invalid_argument);
    EXPECT_THROW(toLinear(*src, *back8), std::invalid_argument);  // linear side must be 16-bit
}
