// The tone effects of the collection end to end: Temperature, SelectiveSaturation, UltraContrast,
// Ozone, FStop and PrinterPoints.

#include "EffectTestSupport.h"

#include "framework/Parameter.h"
#include "imaging/color/LinearLight.h"
#include "imaging/pixel/Pixel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace effecttest;
using pixeltest::get;
using pixeltest::samePixels;

struct KeyCheck {
    int index;
    const char* key;
    const char* label;
};

struct TableCase {
    const char* name;
    const char* title;
    const char* description;
    int count;
    std::vector<const char*> views;
    std::vector<KeyCheck> keys;
    bool ownSharedStrings;  // slots 4-6 are the effect's own functions
};

const TableCase kTables[] = {
    {"Temperature", "Orvo Temperature", "Color temperature adjustment", 28,
     {"Output", "Shadows", "Midtones", "Highlights", "Original"},
     {{0, "input", "Input"}, {2, "master", "Master"}, {3, "temperature", "Temperature"},
      {4, "cyanMagenta", "Cyan/Magenta"}, {8, "Spos", "Position"}, {9, "Srange", "Range"},
      {15, "Spos", "Position"}, {16, "Srange", "Range"}, {17, "Mtemperature", "Temperature"},
      {22, "Spos", "Position"}, {23, "Srange", "Range"}, {26, "Hbrightness", "Brightness"}},
     false},
    {"SelectiveSaturation", "Orvo Selective Saturation", "SelectiveSaturation.", 17,
     {"Output", "Shadows", "Midtones", "Highlights", "Original"},
     {{2, "Shadows", "Shadows"}, {3, "sSat", "Saturation"}, {5, "sRange", "Range"}, {7, "midtones", "Midtones"},
      {9, "mPos", "Position"}, {15, "hRange", "Range"}},
     false},
    {"UltraContrast", "Orvo Ultra Contrast", "Shadows and Highlights.", 12,
     {"Output", "Shadows", "Highlights", "Original"},
     {{3, "sGamma", "Shadows"}, {4, "sPos", "Position"}, {8, "hGamma", "Highlights"}, {10, "hRange", "Range"}},
     true},
    {"Ozone", "Orvo Ozone", "Color correction", 113,
     {"Output", "Zone 0", "Zone 1", "Zone 2", "Zone 3", "Zone 4", "Zone 5", "Zone 6", "Zone 7", "Zone 8", "Zone 9",
      "Zone 10", "Original"},
     {{2, "use", "Extract On"}, {3, "zone0", "Zone 0"}, {4, "pos0", "Position"}, {13, "zone1", "Zone 1"},
      {103, "zone10", "Zone 10"}, {104, "pos10", "Position"}, {105, "rng10", "Range"}, {110, "grn10", "Green"},
      {111, "blu10", "Blue"}},
     false},
    {"FStop", "Orvo F-Stop", "F-Stop adjustments.", 32,
     {"Output", "Shadows", "Midtones", "Highlights", "Original"},
     {{3, "red", "Red Exposure"}, {6, "gang", "Gang"}, {9, "sPos", "Position"}, {14, "sGang", "Gang"},
      {19, "mRed", "Red Exposure"}, {22, "mGang", "Gang"}, {29, "hBlue", "Blue Exposure"}, {30, "hGang", "Gang"}},
     true},
    {"PrinterPoints", "Orvo Printer Points", "", 32,
     {"Output", "Shadows", "Midtones", "Highlights", "Original"},
     {{3, "red", "Red Exposure"}, {25, "hPos", "Position"}, {26, "hRange", "Range"}},
     true},
};

TEST(ToneEffectTables, IdentityParametersAndViews)
{
    for (const TableCase& c : kTables) {
        SCOPED_TRACE(c.name);
        EffectPtr e = make(c.name);
        ASSERT_TRUE(e);
        EXPECT_STREQ(e->ops->title(e.get()), c.title);
        EXPECT_STREQ(e->ops->description(e.get()), c.description);
        ASSERT_EQ(e->parameterCount(), c.count);
        for (int i = 0; i < c.count; ++i)
            ASSERT_EQ(e->parameterAt(i)->index, i);
        const fx::Parameter& view = *e->parameterAt(1);
        EXPECT_STREQ(view.key, "view");
        ASSERT_EQ(view.list.count, static_cast<int>(c.views.size()));
        for (int i = 0; i < view.list.count; ++i)
            EXPECT_STREQ(view.list.items[i], c.views[i]);
        for (const KeyCheck& k : c.keys) {
            EXPECT_STREQ(e->parameterAt(k.index)->key, k.key) << k.index;
            EXPECT_STREQ(e->parameterAt(k.index)->label, k.label) << k.index;
        }
        EXPECT_EQ(e->parameterAt(c.count - 1)->kind, fx::ParamKind::GroupEnd);
        EXPECT_STREQ(e->ops->vendorName(e.get()), fx::defaults::vendorName(nullptr));
        EXPECT_STREQ(e->ops->productTitle(e.get()), fx::defaults::productTitle(nullptr));
        EXPECT_STREQ(e->ops->productKey(e.get()), fx::defaults::productKey(nullptr));
        EXPECT_EQ(e->ops->vendorName != fx::defaults::vendorName, c.ownSharedStrings);
    }
}

TEST(ToneEffectTables, RangesDefaultsAndFlags)
{
    EffectPtr ozone = make("Ozone");
    for (int k = 0; k < 11; ++k) {
        const int base = 3 + 10 * k;
        EXPECT_EQ(ozone->parameterAt(base)->flags & fx::ParamFlag::GroupState, fx::ParamFlag::GroupState);
        EXPECT_EQ(ozone->parameterAt(base + 1)->range.defaultValue, 10.0 * k);
        EXPECT_EQ(ozone->parameterAt(base + 2)->range.defaultValue, 30);
        EXPECT_EQ(ozone->parameterAt(base + 6)->range.minimum, -200);
        EXPECT_EQ(ozone->parameterAt(base + 8)->range.maximum, 200);
    }
    EXPECT_EQ(ozone->parameterAt(2)->list.count, 10);
    EXPECT_STREQ(ozone->parameterAt(2)->list.items[9], "Yellow");

    EffectPtr ultra = make("UltraContrast");
    for (int i : {2, 6, 7, 11})
        EXPECT_TRUE(ultra->parameterAt(i)->flags & fx::ParamFlag::BoxGroup) << i;
    EXPECT_EQ(ultra->parameterAt(3)->range.defaultValue, 25);

    EffectPtr temperature = make("Temperature");
    EXPECT_EQ(temperature->parameterAt(15)->range.defaultValue, 50);
    EXPECT_EQ(temperature->parameterAt(23)->range.defaultValue, 80);
    EXPECT_TRUE(temperature->parameterAt(2)->flags & 256u);

    EffectPtr points = make("PrinterPoints");
    EffectPtr stops = make("FStop");
    EXPECT_EQ(points->parameterAt(4)->range.minimum, -25);
    EXPECT_EQ(points->parameterAt(4)->range.maximum, 75);
    EXPECT_EQ(points->parameterAt(4)->range.defaultValue, 25);
    EXPECT_EQ(stops->parameterAt(12)->range.minimum, -5);
    EXPECT_EQ(stops->parameterAt(12)->range.defaultValue, 0);
    for (int gang : {6, 14, 22, 30}) {
        EXPECT_EQ(stops->parameterAt(gang)->kind, fx::ParamKind::Boolean);
        EXPECT_TRUE(stops->parameterAt(gang)->flags & fx::ParamFlag::NotifyOnChange);
    }
}

template <class T>
class ToneEffects : public ::testing::Test {};
struct Eight { static constexpr int bpc = 1; };
struct Sixteen { static constexpr int bpc = 2; };
using Widths = ::testing::Types<Eight, Sixteen>;
TYPED_TEST_SUITE(ToneEffects, Widths);

// Settings whose "Output" view is inactive (a plain copy), and settings that render yet return the
// input unchanged.
TYPED_TEST(ToneEffects, NeutralSettingsReturnTheInput)
{
    struct Case {
        const char* name;
        bool active;
    };
    const Case cases[] = {
        {"Temperature", true},  // renders at all-zero sliders
        {"SelectiveSaturation", false}, {"Ozone", false}, {"FStop", false}, {"PrinterPoints", false},
    };
    fx::ImageRef src = pixeltest::noise(19, 8, 4, TypeParam::bpc, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EffectPtr e = make(c.name);
        fx::ImageRef out = render(*e, *src);
        EXPECT_EQ(e->ops->isActive(*e), c.active);
        EXPECT_TRUE(samePixels(*out, *src));
        setList(*e, 1, e->parameterAt(1)->list.count - 1);  // "Original"
        EXPECT_FALSE(e->ops->isActive(*e));
    }
    EffectPtr ultra = make("UltraContrast");
    setValue(*ultra, 3, 0);
    setValue(*ultra, 8, 0);
    EXPECT_FALSE(ultra->ops->isActive(*ultra));
    setList(*ultra, 1, 1);  // the "Shadows" view shows the weights even then
    EXPECT_TRUE(ultra->ops->isActive(*ultra));
}

// The three range groups share the keys "Spos"/"Srange"; the midtones Position (index 15) moves the
// midtones range alone.
TYPED_TEST(ToneEffects, TemperatureMidtonesPositionMovesOnlyMidtones)
{
    const int bpc = TypeParam::bpc;
    fx::ImageRef src = pixeltest::noise(23, 9, 4, bpc, 11);
    EffectPtr e = make("Temperature");
    setValue(*e, 10, 60);   // shadows temperature
    setValue(*e, 26, -40);  // highlights brightness
    std::vector<fx::ImageRef> before;
    for (int view = 0; view < 4; ++view) {
        setList(*e, 1, view);
        before.push_back(render(*e, *src));
    }
    setValue(*e, 15, 30);
    for (int view = 0; view < 4; ++view) {
        setList(*e, 1, view);
        fx::ImageRef after = render(*e, *src);
        // The midtones carry no adjustment: the output and the other ranges stay as they were.
        EXPECT_EQ(samePixels(*after, *before[view]), view != 2) << view;
    }
    setValue(*e, 17, 50);  // a midtones temperature now shows where the range went
    setList(*e, 1, 0);
    fx::ImageRef warmer = render(*e, *src);
    EXPECT_FALSE(samePixels(*warmer, *before[0]));
}

TYPED_TEST(ToneEffects, UltraContrastLiftsShadowsAndLowersHighlights)
{
    const int bpc = TypeParam::bpc;
    const int full = pixeltest::fullScale(bpc);
    const int dark = full / 6, light = full - full / 6;
    fx::ImageRef src = pixels(bpc, {{dark, dark, dark, 7}, {light, light, light, 9}, {0, 0, 0, 0}, {full, full, full, full}});
    EffectPtr e = make("UltraContrast");
    fx::ImageRef out = render(*e, *src);
    EXPECT_TRUE(e->ops->isActive(*e));
    EXPECT_GT(get(*out, 0, 0, 0), dark);
    EXPECT_LT(get(*out, 1, 0, 0), light);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(get(*out, x, 0, 0), get(*out, x, 0, 2));  // greys stay grey
        EXPECT_EQ(get(*out, x, 0, 3), get(*src, x, 0, 3));  // alpha kept
    }
    EXPECT_EQ(get(*out, 2, 0, 0), 0);
    EXPECT_EQ(get(*out, 3, 0, 0), full);
}

// F-Stop +1 on Red with the gang on doubles R, G and B in linear light; PrinterPoints at 37 (one stop
// above its neutral 25, twelve points a stop) agrees to within a level.
TYPED_TEST(ToneEffects, FStopOneStopUpGanged)
{
    const int bpc = TypeParam::bpc;
    const int mid = bpc == 2 ? imaging::widen8to16(128) : 128;
    fx::ImageRef src = pixels(bpc, {{mid, mid, mid, pixeltest::fullScale(bpc)}, {0, 0, 0, 0}});
    EffectPtr e = make("FStop");
    setValue(*e, 3, 1);
    e->parameterAt(6)->boolean.current = 1;
    e->ops->parameterChanged(*e, 6);
    EXPECT_FALSE(e->parameterAt(4)->enabled());
    EXPECT_FALSE(e->parameterAt(5)->enabled());
    EXPECT_TRUE(e->parameterAt(3)->enabled());
    fx::ImageRef out = render(*e, *src);
    EXPECT_TRUE(e->ops->isActive(*e));
    const double narrowed = get(*out, 0, 0, 0) * 255.0 / pixeltest::fullScale(bpc);
    EXPECT_NEAR(narrowed, 175, 1.0);
    EXPECT_EQ(get(*out, 0, 0, 1), get(*out, 0, 0, 0));
    EXPECT_EQ(get(*out, 0, 0, 2), get(*out, 0, 0, 0));
    EXPECT_EQ(get(*out, 1, 0, 0), 0);

    EffectPtr points = make("PrinterPoints");
    setValue(*points, 3, 37);
    points->parameterAt(6)->boolean.current = 1;
    fx::ImageRef pointsOut = render(*points, *src);
    for (int c = 0; c < 3; ++c)
        EXPECT_LE(std::abs(get(*pointsOut, 0, 0, c) - get(*out, 0, 0, c)), 1);

    e->parameterAt(6)->boolean.current = 0;
    e->ops->parameterChanged(*e, 6);
    EXPECT_TRUE(e->parameterAt(4)->enabled());
    fx::ImageRef redOnly = render(*e, *src);
    EXPECT_EQ(get(*redOnly, 0, 0, 0), get(*out, 0, 0, 0));
    EXPECT_LT(get(*redOnly, 0, 0, 1), get(*out, 0, 0, 1));
}

TYPED_TEST(ToneEffects, ExposureRangeViewsShowWeightsOfTheStoredLevels)
{
    const int bpc = TypeParam::bpc;
    const int full = pixeltest::fullScale(bpc);
    fx::ImageRef src = pixels(bpc, {{0, 0, 0, 3}, {full / 2, full / 2, full / 2, 3}, {full, full, full, 3}});
    EffectPtr e = make("FStop");
    struct ViewCase {
        int view;
        int expect[3];  // weight at black, mid grey and white in eighths of full scale, to a tenth
    };
    const ViewCase cases[] = {{1, {8, 0, 0}}, {2, {0, 8, 0}}, {3, {0, 0, 8}}};
    for (const ViewCase& c : cases) {
        setList(*e, 1, c.view);
        EXPECT_TRUE(e->ops->isActive(*e));
        fx::ImageRef out = render(*e, *src);
        for (int x = 0; x < 3; ++x) {
            EXPECT_NEAR(get(*out, x, 0, 1), c.expect[x] * full / 8, full / 10) << c.view << " " << x;
            EXPECT_EQ(get(*out, x, 0, 3), full);  // the mask view is opaque
        }
    }
}

// A gain of +200 in one zone adds up to twice the level to pixels at that zone's position and
// nothing to pixels outside its range; "Extract On" picks the quantity the zones are laid over.
TYPED_TEST(ToneEffects, OzoneZoneGain)
{
    const int bpc = TypeParam::bpc;
    const int full = pixeltest::fullScale(bpc);
    const int at = full / 5;  // zone 2 sits at 20 %
    const int far = full - full / 5;
    fx::ImageRef src = pixels(bpc, {{at, at, at, 1}, {far, far, far, 2}, {at, far, far, 3}});
    EffectPtr e = make("Ozone");
    const int zone2 = 3 + 10 * 2;
    setValue(*e, zone2 + 6, 200);  // red
    fx::ImageRef out = render(*e, *src);
    EXPECT_TRUE(e->ops->isActive(*e));
    EXPECT_NEAR(get(*out, 0, 0, 0), 3 * at, full / 200 + 1);
    EXPECT_EQ(get(*out, 0, 0, 1), at);
    EXPECT_EQ(get(*out, 0, 0, 2), at);
    EXPECT_EQ(get(*out, 1, 0, 0), far);
    EXPECT_EQ(get(*out, 2, 0, 0), at);  // luminance of (at, far, far) is outside the zone

    setList(*e, 2, 4);  // "Red": the third pixel's key is now its red level
    out = render(*e, *src);
    EXPECT_NEAR(get(*out, 2, 0, 0), 3 * at, full / 200 + 1);
    EXPECT_EQ(get(*out, 2, 0, 3), 3);

    setList(*e, 1, 3);  // "Zone 2" view: the zone's weight, full at its position
    out = render(*e, *src);
    EXPECT_NEAR(get(*out, 0, 0, 0), full, full / 100);
    EXPECT_EQ(get(*out, 1, 0, 0), 0);
    EXPECT_EQ(get(*out, 0, 0, 3), full);
}

// Midtones saturation -100 turns a midtone nearly grey (its weight is close to full there); greys and
// pixels outside every range are kept.
TYPED_TEST(ToneEffects, SelectiveSaturationDesaturatesItsRange)
{
    const int bpc = TypeParam::bpc;
    const int full = pixeltest::fullScale(bpc);
    const int s = full / 255;
    fx::ImageRef src = pixels(bpc, {{140 * s, 120 * s, 100 * s, 5}, {90 * s, 90 * s, 90 * s, 6}});
    EffectPtr e = make("SelectiveSaturation");
    setValue(*e, 8, -100);
    fx::ImageRef out = render(*e, *src);
    EXPECT_TRUE(e->ops->isActive(*e));
    const int y = bpc == 2 ? (9798 * 140 * s + 19235 * 120 * s + 3735 * 100 * s) >> 15
                           : (76 * 140 + 150 * 120 + 29 * 100) / 255;
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(get(*out, 0, 0, c), y, 2 * s) << c;
        EXPECT_EQ(get(*out, 1, 0, c), 90 * s);
    }
    EXPECT_EQ(get(*out, 0, 0, 3), 5);
}

// Levels above 32768, stored indices outside the lists and out-of-range slider values never read
// outside a table.
TEST(ToneEffectsRobustness, InvalidLevelsAndStoredValues)
{
    fx::ImageRef src = pixeltest::constant(7, 5, 4, 2, 65535);
    for (const TableCase& c : kTables) {
        SCOPED_TRACE(c.name);
        EffectPtr e = make(c.name);
        for (int i = 2; i < e->parameterCount(); ++i) {
            fx::Parameter& p = *e->parameterAt(i);
            if (p.kind == fx::ParamKind::Range)
                p.range.current = p.range.maximum * 3 + 1;
            else if (p.kind == fx::ParamKind::List)
                p.list.current = 99;
        }
        for (int view = 0; view <= e->parameterAt(1)->list.count; ++view) {
            setList(*e, 1, view);
            render(*e, *src);
        }
    }
}

} // namespace
