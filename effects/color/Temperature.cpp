// "Temperature": temperature, cyan/magenta and brightness for the whole image and for each of the
// shadows, midtones and highlights, through the colour corrector's master and range settings. With
// t = temperature / 100 and m = cyan-magenta / 100 the gains are R (1 - t)(1 + m) - 1, G -m and
// B (1 + t)(1 + |m|) - 1. The three range groups share the keys "Spos" and "Srange"; they are told
// apart by their position in the table.

#include "effects/EffectSupport.h"
#include "effects/color/ToneEffectSupport.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/color/ColorCorrector.h"
#include "imaging/pixel/Pixel.h"

#include <array>
#include <cmath>

namespace orvo {

extern const fx::EffectOps temperatureOps;

namespace {

const char* const kViews[] = {"Output", "Shadows", "Midtones", "Highlights", "Original"};
enum View : int32_t { Output = 0, ShadowsView, MidtonesView, HighlightsView, Original, ViewCount };

constexpr uint32_t kGroupDisplayFlag = 256;

// Offsets inside a range group (after its GroupBegin).
enum : int { Pos = 0, Span, Temp, CyanMagenta, Bright, RangeGroupSize = 5 };

struct Temperature : fx::Effect {
    enum : int {
        Input = 0, ViewParam,
        Master, MasterTemp, MasterCyanMagenta, MasterBright, MasterEnd,
        Shadows, ShadowsEnd = Shadows + RangeGroupSize + 1,
        Midtones, MidtonesEnd = Midtones + RangeGroupSize + 1,
        Highlights, HighlightsEnd = Highlights + RangeGroupSize + 1,
        Count
    };
    static_assert(Count == 28);

    fx::Parameter own[Count];
    imaging::ColorCorrector corrector;
    // The settings the corrector's tables were last built from: master (3), then per range 5.
    std::array<float, 18> built{};
    int builtWidth = 0;

    Temperature() : Effect(&temperatureOps)
    {
        own[Input].initInput("input", "Input");
        own[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        own[Master].initGroupBegin("master", "Master", false);
        own[Master].orFlags(kGroupDisplayFlag);
        own[MasterTemp].initRange("temperature", "Temperature", -100, 100, 0, 0);
        own[MasterCyanMagenta].initRange("cyanMagenta", "Cyan/Magenta", -100, 100, 0, 0);
        own[MasterBright].initRange("brightness", "Brightness", -100, 100, 0, 0);
        own[MasterEnd].initGroupEnd();
        struct Group {
            int at;
            const char *key, *label, *temp, *cyanMagenta, *bright;
            double position, range;
        };
        const Group groups[] = {
            {Shadows, "shadows", "Shadows", "Stemperature", "ScyanMagenta", "Sbrightness", 0, 80},
            {Midtones, "midtones", "Midtones", "Mtemperature", "McyanMagenta", "Mbrightness", 50, 40},
            {Highlights, "highlights", "Highlights", "Htemperature", "HcyanMagenta", "Hbrightness", 100, 80},
        };
        for (const Group& g : groups) {
            fx::Parameter* p = own + g.at;
            p[0].initGroupBegin(g.key, g.label, false);
            p[0].orFlags(kGroupDisplayFlag);
            p[1 + Pos].initRange("Spos", "Position", 0, 100, g.position, 0);
            p[1 + Span].initRange("Srange", "Range", 0, 100, g.range, 0);
            p[1 + Temp].initRange(g.temp, "Temperature", -100, 100, 0, 0);
            p[1 + CyanMagenta].initRange(g.cyanMagenta, "Cyan/Magenta", -100, 100, 0, 0);
            p[1 + Bright].initRange(g.bright, "Brightness", -100, 100, 0, 0);
            p[1 + RangeGroupSize].initGroupEnd();
        }
        setParameters(own, Count);
    }

    int32_t currentView() const { return tone::viewIndex(*this, ViewParam, ViewCount, Original); }
};

struct Gains {
    float r, g, b;
};

// The channel gains of a temperature t and cyan/magenta m (both fractions).
Gains gainsOf(float t, float m)
{
    return {(1 - t) * (1 + m) - 1, (1 - m) - 1, (1 + t) * (1 + std::fabs(m)) - 1};
}

const char* title(fx::Effect*) { return "Orvo Temperature"; }
const char* description(fx::Effect*) { return "Color temperature adjustment"; }

bool isActive(const fx::Effect& e)
{
    return static_cast<const Temperature&>(e).currentView() != Original;
}

void beginRender(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<Temperature&>(e);
    std::array<float, 18> now{};
    now[0] = tone::percent(self, Temperature::MasterTemp);
    now[1] = tone::percent(self, Temperature::MasterCyanMagenta);
    now[2] = tone::percent(self, Temperature::MasterBright);
    const int starts[] = {Temperature::Shadows + 1, Temperature::Midtones + 1, Temperature::Highlights + 1};
    for (int k = 0; k < 3; ++k)
        for (int f = 0; f < RangeGroupSize; ++f)
            now[3 + 5 * k + f] = tone::percent(self, starts[k] + f);
    const int width = info->sixteenBit ? 16 : 8;
    if (now == self.built && width == self.builtWidth)
        return;

    imaging::ColorCorrector& cc = self.corrector;
    const Gains master = gainsOf(now[0], now[1]);
    cc.setMaster(now[2], 0, 0, master.r, master.g, master.b);
    using Setter = void (imaging::ColorCorrector::*)(float, float, float, float, float, float, float, float);
    const Setter setters[] = {&imaging::ColorCorrector::setShadows, &imaging::ColorCorrector::setMidtones,
                              &imaging::ColorCorrector::setHighlights};
    for (int k = 0; k < 3; ++k) {
        const float* r = now.data() + 3 + 5 * k;
        const Gains g = gainsOf(r[Temp], r[CyanMagenta]);
        (cc.*setters[k])(r[Bright], 0, 0, g.r, g.g, g.b, r[Pos], r[Span]);
    }
    cc.setActive(true);
    cc.setTablesOnly(false);
    cc.rebuildTables(info->sixteenBit != 0);
    self.built = now;
    self.builtWidth = width;
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<Temperature&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    if (out->channels != 4 || !out->origin)
        return;
    const int32_t view = self.currentView();
    if (view == Output)
        self.corrector.applyRect(*out, info->renderRect);
    else if (view != Original)
        self.corrector.maskRect(*out, info->renderRect, view - ShadowsView);
}

} // namespace

const fx::EffectOps temperatureOps = {
    fx::createSlot<Temperature>, fx::cloneSlot<Temperature>, fx::destroySlot<Temperature>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, beginRender, renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
