#include "framework/Parameter.h"

#include <gtest/gtest.h>

#include <cstring>

using fx::Parameter;
using fx::ParamFlag::Dirty;
using fx::ParamFlag::Enabled;
namespace RM = fx::RangeMapping;

namespace {

TEST(Parameter, ConstructedEmptyAndTypedConstructorsKeepFlags)
{
    Parameter p;
    EXPECT_EQ(p.kind, fx::ParamKind::Empty);
    EXPECT_EQ(p.flags, 0x21u);
    p.orFlags(0x4000);
    p.initRange("grainRSize", "Red Size", 0, 100, 25, 1);
    EXPECT_EQ(p.flags, 0x4021u);
    EXPECT_EQ(p.range.current, 25);
    EXPECT_EQ(p.range.defaultValue, 25);

    static const char* const items[] = {"a", "b", "c"};
    Parameter list;
    list.initList("view", "View", items, 3, 2);
    EXPECT_EQ(list.list.current, 2);
    list.list.current = 7;  // stored sets may carry out-of-range values; kept as given
    list.resetToDefault();
    EXPECT_EQ(list.list.current, 2);
}

TEST(Parameter, EnabledAndGroupStateMarkDirtyOnlyOnChange)
{
    Parameter p;
    p.initBoolean("on", "On", false);
    p.flags &= ~Dirty;
    p.setEnabled(true);  // already enabled
    EXPECT_EQ(p.flags & Dirty, 0u);
    p.setEnabled(false);
    EXPECT_EQ(p.flags & (Enabled | Dirty), Dirty);

    Parameter g;
    g.initGroupBegin("grp", "Group", false);
    g.flags &= ~Dirty;
    g.setGroupState(false);
    EXPECT_EQ(g.flags & Dirty, 0u);
    g.setGroupState(true);
    EXPECT_EQ(g.flags & (fx::ParamFlag::GroupState | Dirty), fx::ParamFlag::GroupState | Dirty);
}

TEST(Parameter, KeysAndPathsAreOwnedCopies)
{
    Parameter p;
    p.initImageFile("texture", "Texture", "QEV Orvo", "textures");
    p.setImagePath("");
    EXPECT_EQ(p.imagePath(), nullptr);
    char path[] = "/tmp/a.png";
    p.setImagePath(path);
    path[0] = 'X';
    EXPECT_STREQ(p.imagePath(), "/tmp/a.png");

    p.prefixKey("light");
    EXPECT_STREQ(p.key, "lighttexture");
    EXPECT_TRUE(p.flags & fx::ParamFlag::OwnedKey);
    p.setKey(p.key);  // from its own key: copied before the old one is freed
    EXPECT_STREQ(p.key, "lighttexture");

    Parameter copy = p;  // deep copy: both can be destroyed independently
    EXPECT_NE(copy.key, p.key);
    EXPECT_NE(copy.imagePath(), p.imagePath());
    EXPECT_STREQ(copy.imagePath(), "/tmp/a.png");

    p.resetToDefault();
    EXPECT_EQ(p.imagePath(), nullptr);
    EXPECT_STREQ(copy.imagePath(), "/tmp/a.png");
}

TEST(RangeMapping, SliderAndText)
{
    Parameter r;
    r.initRange("amount", "Amount", 0, 100, 50, 1);
    EXPECT_EQ(RM::sliderScale(r), 100);
    EXPECT_EQ(RM::sliderMinimum(r), 0);
    EXPECT_EQ(RM::sliderMaximum(r), 10000);
    EXPECT_DOUBLE_EQ(RM::valueFromSlider(r, 2550), 25.5);
    EXPECT_EQ(RM::displayText(r, 25.5), "25.5");
    EXPECT_EQ(RM::sliderFromValue(r, 25.5), 2550);

    Parameter i;
    i.initRange("size", "Size", 1, 10, 1, 0);
    i.orFlags(fx::ParamFlag::IntegerValued);
    EXPECT_EQ(RM::sliderScale(i), 1);
    EXPECT_EQ(RM::sliderMinimum(i), 1);
    EXPECT_EQ(RM::sliderMaximum(i), 10);
    EXPECT_EQ(RM::displayText(i, 3.0), "3");
    double v = 0;
    ASSERT_TRUE(RM::parseText(i, "3.7", &v));
    EXPECT_DOUBLE_EQ(v, 3.7);
    EXPECT_EQ(RM::sliderFromValue(i, v), 3);

    struct { const char* text; bool ok; double value; } cases[] = {
        {"150", true, 10}, {"-4", true, 1}, {" 2.5", true, 2.5}, {"abc", false, 0}, {"", false, 0}, {"4x", false, 0},
    };
    for (const auto& c : cases) {
        double out = -1;
        EXPECT_EQ(RM::parseText(i, c.text, &out), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(out, c.value) << c.text;
        }
    }

    // Out-of-range stored values stay defined on the slider.
    Parameter huge;
    huge.initRange("h", "H", -1e12, 1e12, 0, 3);
    EXPECT_EQ(RM::sliderMaximum(huge), INT32_MAX);
    EXPECT_EQ(RM::sliderMinimum(huge), INT32_MIN);
}

} // namespace
