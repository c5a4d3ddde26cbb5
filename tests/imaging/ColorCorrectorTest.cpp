#include "imaging/color/ColorCorrector.h"
#include "imaging/color/ColorPrimitives.h"
#include "imaging/color/SplineCurve.h"

#include "framework/ChannelTraits.h"
#include "framework/Image.h"
#include "framework/Parameter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

using namespace imaging;

namespace {

// The corrector's parameter block, declared by the corrector itself.
struct Block {
    std::vector<fx::Parameter> p;
    explicit Block(int count = ColorCorrector::FullParameterCount) : p(count)
    {
        ColorCorrector().defineParameters(p.data(), count);
    }
    Block& set(int i, double v)
    {
        p[i].range.current = v;
        return *this;
    }
};

enum : int { Hue = 1, Sat = 2, Bri = 3, Con = 4, Gam = 5, Red = 6, Green = 7, Blue = 8, Flash = 9, FlashColor = 10 };
// First record of range k's Position/Range/Brightness/.../Blue run.
constexpr int rangeBase(int k) { return 13 + 10 * k; }

// Deterministic pseudo-random colours covering the channel range, with a few greys.
template <class Traits>
fx::ImageRef testImage(int w = 37, int h = 5)
{
    using V = typename Traits::value_type;
    fx::ImageRef img = fx::makeImage(w, h, 4, Traits::bytes);
    uint32_t s = 12345;
    for (int y = 0; y < h; ++y) {
        V* p = img->rowAs<V>(y);
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 4; ++c) {
                s = s * 1103515245u + 12345u;
                p[4 * x + c] = static_cast<V>((s >> 8) % (Traits::fullScale + 1));
            }
            if (x % 7 == 0)
                p[4 * x + 1] = p[4 * x + 2] = p[4 * x];
        }
    }
    return img;
}

template <class Traits>
fx::ImageRef copyOf(const fx::Image& src)
{
    fx::ImageRef img = fx::makeImage(src.width, src.height, 4, Traits::bytes);
    img->copyPixels(src);
    return img;
}

bool samePixels(const fx::Image& a, const fx::Image& b)
{
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.width) * a.bytesPerPixel) != 0)
            return false;
    return true;
}

fx::Rect whole(const fx::Image& img) { return {0, 0, img.height, img.width}; }

template <class T>
class ColorCorrectorWidth : public ::testing::Test {};
using Widths = ::testing::Types<fx::Channel8, fx::Channel16>;
TYPED_TEST_SUITE(ColorCorrectorWidth, Widths);

} // namespace

TYPED_TEST(ColorCorrectorWidth, NeutralSettingsCopyBitForBit)
{
    using T = TypeParam;
    using V = typename T::value_type;
    Block b;
    ColorCorrector cc;
    EXPECT_TRUE(cc.update(b.p.data(), 42, T::sixteenBit));
    EXPECT_FALSE(cc.active());
    fx::ImageRef img = testImage<T>();
    fx::ImageRef ref = copyOf<T>(*img);
    cc.applyRect(*img, whole(*img));
    EXPECT_TRUE(samePixels(*img, *ref));
    std::vector<V> out(4 * img->width);
    cc.applyRow(ref->rowAs<V>(2), out.data(), img->width);
    EXPECT_EQ(std::memcmp(out.data(), ref->row(2), out.size() * sizeof(V)), 0);
    // Moving a range without adjusting it changes nothing either.
    b.set(rangeBase(1), 30).set(rangeBase(1) + 1, 10);
    EXPECT_TRUE(cc.update(b.p.data(), 42, T::sixteenBit));
    EXPECT_FALSE(cc.active());
}

TYPED_TEST(ColorCorrectorWidth, ContrastHundredIsThreshold)
{
    using T = TypeParam;
    using V = typename T::value_type;
    Block b;
    b.set(Con, 100);
    ColorCorrector cc;
    cc.update(b.p.data(), 42, T::sixteenBit);
    EXPECT_TRUE(cc.active());
    EXPECT_TRUE(cc.tablesOnly());
    fx::ImageRef img = testImage<T>();
    fx::ImageRef ref = copyOf<T>(*img);
    cc.applyRect(*img, whole(*img));
    for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < img->width; ++x)
            for (int c = 0; c < 4; ++c) {
                const V in = ref->rowAs<V>(y)[4 * x + c], out = img->rowAs<V>(y)[4 * x + c];
                if (c == 3)
                    ASSERT_EQ(out, in);  // alpha copied
                else
                    ASSERT_EQ(out, 2 * in >= T::fullScale ? T::fullScale : 0) << in;
            }
}

TYPED_TEST(ColorCorrectorWidth, GammaHundredIsTwoRootXMinusX)
{
    using T = TypeParam;
    Block b;
    b.set(Gam, 100);
    ColorCorrector cc;
    cc.update(b.p.data(), 12, T::sixteenBit);
    const double full = T::fullScale;
    for (int i : {0, 1, 7, 100, 200, T::fullScale / 3, T::fullScale}) {
        const double x = i / full;
        const int expect = static_cast<int>((2 * std::sqrt(x) - x) * full + 0.5);
        const int got = T::sixteenBit ? cc.channelTable16(1)[i] : cc.channelTable8(1)[i];
        EXPECT_EQ(got, expect) << i;
    }
}

TYPED_TEST(ColorCorrectorWidth, HueAndSaturationLeaveGreysAlone)
{
    using T = TypeParam;
    using V = typename T::value_type;
    Block b;
    b.set(Hue, 120).set(Sat, 60).set(Bri, 20);
    ColorCorrector cc;
    cc.update(b.p.data(), 42, T::sixteenBit);
    EXPECT_FALSE(cc.tablesOnly());
    const V q = T::fullScale / 4;
    V px[8] = {q, q, q, 9, T::fullScale, 0, 0, 3};  // a grey, then pure red
    cc.applyRow(px, px, 2);
    const V* table = T::sixteenBit ? reinterpret_cast<const V*>(cc.channelTable16(0))
                                   : reinterpret_cast<const V*>(cc.channelTable8(0));
    EXPECT_EQ(px[0], table[q]);  // tone still applies
    EXPECT_EQ(px[1], px[0]);
    EXPECT_EQ(px[2], px[0]);
    EXPECT_EQ(px[3], 9);
    // Red rotated by 120 degrees is green (the brightness lifts it to the table's top).
    EXPECT_EQ(px[4], 0);
    EXPECT_EQ(px[5], T::fullScale);
    EXPECT_EQ(px[6], 0);
    EXPECT_EQ(px[7], 3);
}

TYPED_TEST(ColorCorrectorWidth, HueShiftOfFullTurnKeepsColours)
{
    using T = TypeParam;
    using V = typename T::value_type;
    Block b;
    b.set(Hue, 360);
    ColorCorrector cc;
    cc.update(b.p.data(), 42, T::sixteenBit);
    fx::ImageRef img = testImage<T>();
    fx::ImageRef ref = copyOf<T>(*img);
    cc.applyRect(*img, whole(*img));
    // Within one level: the HSV round trip truncates, but no hue moves.
    for (int y = 0; y < img->height; ++y)
        for (int i = 0; i < 4 * img->width; ++i)
            ASSERT_LE(std::abs(img->rowAs<V>(y)[i] - ref->rowAs<V>(y)[i]), 1) << y << ":" << i;
}

TYPED_TEST(ColorCorrectorWidth, FlashHundredWhiteIsConstantFull)
{
    using T = TypeParam;
    Block b;
    b.set(Flash, 100).set(Bri, -50);
    ColorCorrector cc;
    cc.update(b.p.data(), 12, T::sixteenBit);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i <= T::fullScale; ++i)
            ASSERT_EQ(T::sixteenBit ? cc.channelTable16(c)[i] : cc.channelTable8(c)[i], T::fullScale);
    // Half a flash toward black halves every entry: (a*0 + e*(max - a)) / max.
    b.set(Flash, 50).set(Bri, 0);
    b.p[FlashColor].color.current[0] = 0;
    cc.update(b.p.data(), 12, T::sixteenBit);
    const int a = static_cast<int>(0.5f * T::fullScale);
    const int k = T::fullScale;  // green stays white
    EXPECT_EQ(T::sixteenBit ? cc.channelTable16(0)[T::fullScale] : cc.channelTable8(0)[T::fullScale],
              (T::fullScale * (T::fullScale - a)) / T::fullScale);
    EXPECT_EQ(T::sixteenBit ? cc.channelTable16(1)[0] : cc.channelTable8(1)[0], (a * k) / T::fullScale);
}

TYPED_TEST(ColorCorrectorWidth, GainAddsToTableAndClamps)
{
    using T = TypeParam;
    Block b;
    b.set(Red, 50).set(Blue, -100);
    ColorCorrector cc;
    cc.update(b.p.data(), 12, T::sixteenBit);
    auto entry = [&](int c, int i) { return T::sixteenBit ? cc.channelTable16(c)[i] : cc.channelTable8(c)[i]; };
    EXPECT_EQ(entry(0, 100), 150);  // trunc(0.5 * 100 + 100)
    EXPECT_EQ(entry(0, T::fullScale), T::fullScale);
    EXPECT_EQ(entry(1, 100), 100);
    EXPECT_EQ(entry(2, 100), 0);
}

TYPED_TEST(ColorCorrectorWidth, ZeroRangeHasNoEffect)
{
    using T = TypeParam;
    Block b;
    b.set(rangeBase(1) + 1, 0).set(rangeBase(1) + 2, 80).set(rangeBase(1) + 5, 100);  // midtones range 0
    ColorCorrector cc;
    cc.update(b.p.data(), 42, T::sixteenBit);
    EXPECT_TRUE(cc.active());
    EXPECT_FALSE(cc.tablesOnly());
    for (int i = 0; i <= T::fullScale; ++i) {
        ASSERT_EQ(T::sixteenBit ? cc.weightTable16(1)[i] : cc.weightTable8(1)[i], 0);
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(cc.deltaTable(c)[i], 0);
    }
    fx::ImageRef img = testImage<T>();
    fx::ImageRef ref = copyOf<T>(*img);
    cc.applyRect(*img, whole(*img));
    EXPECT_TRUE(samePixels(*img, *ref));
}

TEST(ColorCorrector, DeltaTableWeighsGainByLevelAndRange)
{
    // 16-bit, midtones at 0.5: full weight at level 16384, so a green gain of +1 adds
    // trunc(0.5 * (0 + 1) * 32768) there.
    Block b;
    b.set(rangeBase(1) + 6, 100);
    ColorCorrector cc;
    cc.update(b.p.data(), 42, true);
    EXPECT_EQ(cc.weightTable16(1)[16384], 32768);
    EXPECT_EQ(cc.deltaTable(1)[16384], 16384);
    EXPECT_EQ(cc.deltaTable(0)[16384], 0);
    EXPECT_EQ(cc.deltaTable(1)[0], 0);        // the level factor
    EXPECT_EQ(cc.deltaTable(1)[32768], 0);    // outside the midtones
    uint16_t px[4] = {16384, 16384, 16384, 77};
    cc.applyRow(px, px, 1);
    EXPECT_EQ(px[0], 16384);
    EXPECT_EQ(px[1], 32768);
    EXPECT_EQ(px[2], 16384);
    EXPECT_EQ(px[3], 77);

    // 8-bit highlights gain +1 at white: (255 * 0.003921569) * (1 * 255), just above 255.
    Block h;
    h.set(rangeBase(2) + 5, 100);
    cc.update(h.p.data(), 42, false);
    EXPECT_EQ(cc.deltaTable(0)[255], 255);
    // A range's own tone: shadows brightness -1 pulls a level L in full shadow down to 0.
    Block s;
    s.set(rangeBase(0) + 2, -100);
    cc.update(s.p.data(), 42, false);
    EXPECT_EQ(cc.weightTable8(0)[0], 255);
    EXPECT_LT(cc.deltaTable(0)[20], 0);
    EXPECT_EQ(cc.deltaTable(0)[20], cc.deltaTable(2)[20]);
}

TEST(ColorCorrector, WidthSwitchRebuildsEveryTable)
{
    Block b;
    b.set(Bri, 30).set(rangeBase(1) + 6, 40).set(rangeBase(1), 60);
    ColorCorrector cc;
    EXPECT_TRUE(cc.update(b.p.data(), 42, false));
    EXPECT_FALSE(cc.update(b.p.data(), 42, false));  // nothing changed
    const int32_t delta8 = cc.deltaTable(1)[153];
    EXPECT_TRUE(cc.update(b.p.data(), 42, true));     // same settings, new width

    ColorCorrector fresh;
    fresh.update(b.p.data(), 42, true);
    for (int i = 0; i <= 32768; ++i) {
        ASSERT_EQ(cc.channelTable16(0)[i], fresh.channelTable16(0)[i]);
        ASSERT_EQ(cc.deltaTable(1)[i], fresh.deltaTable(1)[i]);
    }
    EXPECT_NE(cc.deltaTable(1)[153 * 128], 0);
    EXPECT_NEAR(cc.deltaTable(1)[153 * 32768 / 255] / 128.5, delta8, 2.0);  // same curve, finer levels

    // Rows of the other width rebuild on the way in.
    fx::ImageRef img8 = testImage<fx::Channel8>();
    fx::ImageRef ref8 = copyOf<fx::Channel8>(*img8);
    ColorCorrector other;
    other.update(b.p.data(), 42, false);
    other.applyRect(*ref8, whole(*ref8));
    cc.applyRect(*img8, whole(*img8));
    EXPECT_TRUE(samePixels(*img8, *ref8));
}

TEST(ColorCorrector, MaskShowsRangeWeightAndKeepsAlpha)
{
    Block b;
    ColorCorrector cc;
    cc.update(b.p.data(), 42, true);
    uint16_t px[8] = {16384, 16384, 16384, 5, 32768, 32768, 32768, 6};
    uint16_t out[8];
    cc.maskRow(px, out, 2, ColorCorrector::Midtones);
    EXPECT_EQ(out[0], 32768);
    EXPECT_EQ(out[1], 32768);
    EXPECT_EQ(out[3], 5);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[7], 6);
    cc.maskRow(px, out, 2, ColorCorrector::Highlights);
    EXPECT_EQ(out[4], 32768);

    fx::ImageRef img = testImage<fx::Channel8>();
    fx::ImageRef ref = copyOf<fx::Channel8>(*img);
    cc.maskRect(*img, {1, 2, 3, 9}, ColorCorrector::Shadows);
    const uint8_t* w = cc.weightTable8(0);
    for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < img->width; ++x) {
            const uint8_t* in = ref->row(y) + 4 * x;
            const uint8_t* o = img->row(y) + 4 * x;
            const bool inside = y >= 1 && y < 3 && x >= 2 && x < 9;
            const int grey = inside ? w[luma8(in[0], in[1], in[2])] : in[0];
            ASSERT_EQ(o[0], grey);
            ASSERT_EQ(o[1], inside ? grey : in[1]);
            ASSERT_EQ(o[3], in[3]);
        }
}

TEST(ColorCorrector, DirectDrivingWithRanges)
{
    ColorCorrector cc;
    cc.setMaster(0, 0, 0, 0, 0, 0);
    cc.setMidtones(0, 0, 0, 0, 1.0f, 0, 0.5f, -1);  // range kept at 0.4
    EXPECT_FLOAT_EQ(cc.range(ColorCorrector::Midtones).range, 0.4f);
    cc.setActive(true);
    cc.setTablesOnly(false);
    cc.rebuildTables(true);
    EXPECT_EQ(cc.deltaTable(1)[16384], 16384);

    // setAll: master only, ranges ignored, tables rebuilt at once.
    cc.setAll(0, 0, 0, 0, 0, 0.5f, 0, 0, false);
    EXPECT_TRUE(cc.active());
    EXPECT_TRUE(cc.tablesOnly());
    EXPECT_EQ(cc.channelTable8(0)[100], 150);
    cc.setAll(10, 0, 0, 0, 0, 0, 0, 0, false);
    EXPECT_FALSE(cc.tablesOnly());
    EXPECT_EQ(cc.deltaTable(1)[128], 0);

    EXPECT_FALSE(cc.setTone(0, 0, 0));
    EXPECT_TRUE(cc.setTone(0.1f, 0, 0));
}

TEST(ColorCorrector, ParameterBlockLayout)
{
    ColorCorrector cc;
    cc.setShadows(0, 0, 0, 0, 0, 0, 0.1f, 0.5f);
    std::vector<fx::Parameter> p(42);
    cc.defineParameters(p.data(), 42);
    struct Row {
        int index;
        const char* key;
        const char* label;
        fx::ParamKind kind;
        double def;
        uint32_t flags;
    };
    const Row rows[] = {
        {0, "ccMaster", "Master", fx::ParamKind::GroupBegin, 0, 256},
        {1, "ccMasterHue", "Hue", fx::ParamKind::Range, 0, 0},
        {2, "ccMasterSat", "Saturation", fx::ParamKind::Range, 0, 0x4000},
        {8, "ccMasterB", "Blue", fx::ParamKind::Range, 0, 1024},
        {9, "ccTintAmount", "Flash Amount", fx::ParamKind::Range, 0, 0x4000},
        {10, "ccTintColor", "Flash Color", fx::ParamKind::Color, 0, 0},
        {13, "ccShadPos", "Position", fx::ParamKind::Range, 10, 0},
        {14, "ccShadRange", "Range", fx::ParamKind::Range, 50, 0},
        {19, "ccShadG", "Green", fx::ParamKind::Range, 0, 512},
        {22, "ccMid", "Midtones", fx::ParamKind::GroupBegin, 0, 256},
        {24, "ccMidRange", "Range", fx::ParamKind::Range, 40, 0},
        {33, "ccHighPos", "Position", fx::ParamKind::Range, 100, 0},
        {37, "ccHighGam", "Gamma", fx::ParamKind::Range, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.index);
        EXPECT_STREQ(p[r.index].key, r.key);
        EXPECT_STREQ(p[r.index].label, r.label);
        EXPECT_EQ(p[r.index].kind, r.kind);
        EXPECT_EQ(p[r.index].flags & (256 | 512 | 1024 | 0x4000), r.flags);
        if (r.kind == fx::ParamKind::Range) {
            EXPECT_EQ(p[r.index].range.defaultValue, r.def);
        }
    }
    EXPECT_EQ(p[1].range.minimum, -360);
    EXPECT_EQ(p[1].range.maximum, 360);
    EXPECT_TRUE(p[12].flags & fx::ParamFlag::GroupState);
    EXPECT_EQ(p[10].color.defaultValue[1], 1.0);
    for (int i : {11, 21, 31, 41})
        EXPECT_EQ(p[i].kind, fx::ParamKind::GroupEnd) << i;

    std::vector<fx::Parameter> master(12);
    cc.defineParameters(master.data(), 12);
    EXPECT_EQ(master[11].kind, fx::ParamKind::GroupEnd);
    EXPECT_THROW(cc.defineParameters(p.data(), 20), std::invalid_argument);
}

TEST(ColorCorrector, HostileValuesStayInTables)
{
    // Stored sets are not validated; 16-bit buffers may hold levels above full scale.
    Block b;
    b.set(Hue, 5000).set(Sat, 1e30).set(Red, -1e300).set(rangeBase(2) + 5, 1e12).set(rangeBase(0), -300);
    b.set(Flash, 400);
    b.p[FlashColor].color.current[2] = -7;
    ColorCorrector cc;
    cc.update(b.p.data(), 42, true);
    uint16_t px[8] = {65535, 40000, 0, 65535, 100, 65535, 32768, 1};
    cc.applyRow(px, px, 2);
    for (int c : {0, 1, 2, 4, 5, 6})
        EXPECT_LE(px[c], 32768);
    cc.maskRow(px, px, 2, 7);  // no such range: row left as it is
    fx::ImageRef grey = fx::makeImage(4, 4, 1, 1);
    EXPECT_THROW(cc.applyRect(*grey, whole(*grey)), std::invalid_argument);
    fx::ImageRef img = testImage<fx::Channel16>();
    cc.applyRect(*img, {-5, -5, 100, 100});  // clipped to the image
}
