// "Grain": film grain over the picture, per channel size, amount and softness, its strength
// following the luminance through the film response. Besides "Custom" the preset list offers 27
// grain settings (generic ones and film stocks); in the host (effect flag 0x10000) choosing one
// copies its values into the controls, elsewhere the chosen preset drives the render and the
// controls are disabled. Grain is added to the band being produced, never to its border rows.

#include "effects/EffectSupport.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/Numeric.h"
#include "framework/RenderInfo.h"
#include "imaging/grain/GrainEngine.h"
#include "imaging/pixel/Pixel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orvo {

extern const fx::EffectOps grainOps;

namespace {

const char* const kViews[] = {"Output", "Original"};
enum View : int32_t { Output = 0, Original = 1, ViewCount };

struct GrainPreset {
    const char* name;
    bool monochrome;
    double size[3];
    double amount[3];
    double softness[3];
};

// Entry 0, "Custom", stands for the parameters themselves.
const GrainPreset kPresets[] = {
    {"Custom", false, {}, {}, {}},
    {"Basic", false, {1.0, 1.0, 1.0}, {15.0, 15.0, 15.0}, {0.0, 0.0, 0.0}},
    {"Basic Monochrome", true, {1.0, 1.0, 1.0}, {25.0, 15.0, 15.0}, {0.0, 0.0, 0.0}},
    {"Big", false, {2.0, 2.0, 2.0}, {50.0, 50.0, 50.0}, {0.0, 0.0, 0.0}},
    {"Big Monochrome", true, {1.5, 2.0, 2.0}, {75.0, 50.0, 50.0}, {0.0, 0.0, 0.0}},
    {"Heavy", false, {1.0, 1.0, 1.0}, {50.0, 50.0, 50.0}, {0.0, 0.0, 0.0}},
    {"Heavy Monochrome", true, {1.0, 1.0, 1.0}, {75.0, 50.0, 50.0}, {0.0, 0.0, 0.0}},
    {"25ASA", false, {1.0, 1.0, 1.0}, {10.0, 10.0, 10.0}, {0.0, 0.0, 0.0}},
    {"5245 50ASA", false, {1.0, 1.0, 1.0}, {10.0, 10.0, 30.0}, {0.1, 0.1, 0.3}},
    {"100ASA", false, {1.0, 1.0, 1.0}, {13.0, 13.0, 13.0}, {0.1, 0.1, 0.3}},
    {"5247 100ASA", false, {1.0, 1.0, 1.0}, {30.0, 30.0, 40.0}, {0.2, 0.2, 0.2}},
    {"5248 100ASA", false, {1.0, 1.0, 1.0}, {22.0, 10.0, 25.0}, {0.1, 0.1, 0.2}},
    {"5254 100ASA", false, {1.0, 1.0, 1.0}, {22.0, 10.0, 25.0}, {0.6, 0.6, 0.6}},
    {"5274 200ASA", false, {1.0, 1.0, 1.0}, {12.0, 15.0, 27.0}, {0.2, 0.1, 0.2}},
    {"5287 200ASA", false, {1.0, 1.0, 1.0}, {50.0, 40.0, 90.0}, {0.3, 0.3, 0.3}},
    {"5293 200ASA", false, {1.0, 1.0, 1.0}, {35.0, 35.0, 55.0}, {0.4, 0.4, 0.4}},
    {"SFX 200", false, {1.0, 1.0, 1.0}, {25.0, 17.0, 35.0}, {0.2, 0.2, 0.3}},
    {"5246 250ASA", false, {1.0, 1.0, 1.0}, {20.0, 16.0, 20.0}, {0.1, 0.2, 0.3}},
    {"5277 320ASA", false, {1.0, 1.0, 1.0}, {15.0, 16.0, 33.0}, {0.1, 0.2, 0.3}},
    {"5294 400ASA", false, {1.0, 1.0, 1.0}, {15.0, 14.0, 30.0}, {0.1, 0.1, 0.2}},
    {"400ASA", false, {1.0, 1.0, 1.0}, {20.0, 20.0, 20.0}, {0.0, 0.0, 0.0}},
    {"5279 500ASA", false, {1.0, 1.0, 1.0}, {22.0, 20.0, 50.0}, {0.1, 0.2, 0.3}},
    {"5284 500ASA", false, {1.0, 1.0, 1.0}, {13.0, 22.0, 43.0}, {0.1, 0.2, 0.3}},
    {"5289 800ASA", false, {1.0, 1.0, 1.0}, {25.0, 25.0, 55.0}, {0.2, 0.2, 0.4}},
    {"5296 500ASA", false, {1.0, 1.0, 1.0}, {25.0, 22.0, 48.0}, {0.1, 0.1, 0.3}},
    {"5298 500ASA", false, {1.0, 1.0, 1.0}, {33.0, 30.0, 70.0}, {0.7, 0.7, 0.8}},
    {"800ASA", false, {1.0, 1.0, 1.0}, {28.0, 28.0, 28.0}, {0.0, 0.0, 0.0}},
    {"1600ASA", false, {1.0, 1.0, 1.0}, {38.0, 38.0, 38.0}, {0.0, 0.0, 0.0}},
};
constexpr int32_t kPresetCount = static_cast<int32_t>(sizeof(kPresets) / sizeof(kPresets[0]));

const char* const* presetNames()
{
    static const auto names = [] {
        struct Names { const char* items[kPresetCount]; } n{};
        for (int32_t i = 0; i < kPresetCount; ++i)
            n.items[i] = kPresets[i].name;
        return n;
    }();
    return names.items;
}

// The preset list's flags: change notification plus the effect's own mark 0x200 (528 in all).
constexpr uint32_t kPresetFlags = fx::ParamFlag::NotifyOnChange | 0x200;

// The values a render uses: the controls, or the chosen preset's.
struct GrainSettings {
    bool monochrome;
    double size[3];
    double amount[3];
    double softness[3];
};

struct Grain : fx::Effect {
    enum : int {
        Input = 0, ViewParam, Preset, Group, Monochrome,
        SizeRed, SizeGreen, SizeBlue,
        AmountRed, AmountGreen, AmountBlue,
        SoftnessRed, SoftnessGreen, SoftnessBlue,
        ResponsePosition, ResponseRange, ResponseMinimum,
        GroupEnd, Count
    };

    fx::Parameter own[Count];
    imaging::GrainEngine engine;
    int32_t view = Output;

    Grain() : Effect(&grainOps)
    {
        own[Input].initInput("input", "Input");
        own[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        own[Preset].initList("preset", "Presets", presetNames(), kPresetCount, 0);
        own[Preset].orFlags(kPresetFlags);
        own[Group].initGroupBegin("grainGroup", "Grain", true);
        own[Monochrome].initBoolean("grainMono", "Monochrome", false);
        own[Monochrome].orFlags(fx::ParamFlag::NotifyOnChange);
        static const char* const kKeys[3][3] = {
            {"grainSizeRed", "grainSizeGrn", "grainSizeBlu"},
            {"grainAmountRed", "grainAmountGrn", "grainAmountBlu"},
            {"grainSoftnessRed", "grainSoftnessGrn", "grainSoftnessBlu"},
        };
        static const char* const kLabels[3][3] = {
            {"Red Size", "Green Size", "Blue Size"},
            {"Red Amount", "Green Amount", "Blue Amount"},
            {"Red Softness", "Green Softness", "Blue Softness"},
        };
        for (int c = 0; c < 3; ++c) {
            own[SizeRed + c].initRange(kKeys[0][c], kLabels[0][c], 1, 10, 1, 0);
            own[SizeRed + c].orFlags(fx::ParamFlag::IntegerValued);
            own[AmountRed + c].initRange(kKeys[1][c], kLabels[1][c], 0, 100, 25, 0);
            own[SoftnessRed + c].initRange(kKeys[2][c], kLabels[2][c], 0, 10, 0, 1);
        }
        own[ResponsePosition].initRange("grainResponsePos", "Response Position", 0, 100, 50, 0);
        own[ResponseRange].initRange("grainResponseRange", "Response Range", 0, 100, 80, 0);
        own[ResponseMinimum].initRange("grainResponseMin", "Response Minimum", 0, 100, 20, 0);
        own[GroupEnd].initGroupEnd();
        setParameters(own, Count);
    }

    bool hostCreated() const { return flags & fx::EffectFlag::HostCreated; }
    // The chosen preset; a stored index outside the list counts as "Custom".
    int32_t preset() const
    {
        const int32_t p = valueAsInt(Preset);
        return p > 0 && p < kPresetCount ? p : 0;
    }
    // Outside the host a chosen preset, not the controls, drives the render.
    const GrainPreset* drivingPreset() const
    {
        return !hostCreated() && preset() != 0 ? &kPresets[preset()] : nullptr;
    }

    GrainSettings settings() const
    {
        GrainSettings s{};
        if (const GrainPreset* p = drivingPreset()) {
            s.monochrome = p->monochrome;
            for (int c = 0; c < 3; ++c) {
                s.size[c] = p->size[c];
                s.amount[c] = p->amount[c];
                s.softness[c] = p->softness[c];
            }
            return s;
        }
        s.monochrome = valueAsBool(Monochrome) != 0;
        for (int c = 0; c < 3; ++c) {
            s.size[c] = valueAsDouble(SizeRed + c);
            s.amount[c] = valueAsDouble(AmountRed + c);
            s.softness[c] = valueAsDouble(SoftnessRed + c);
        }
        return s;
    }

    // "Original", or a stored view index outside the list: the input unchanged.
    bool original() const { return valueAsInt(ViewParam) != Output; }
};

const char* title(fx::Effect*) { return "Orvo Grain"; }
const char* description(fx::Effect*) { return "Add film grain"; }

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const Grain&>(e);
    if (self.original())
        return false;
    // What beginRender hands the engine as its anyAmount, read from the current values.
    const GrainSettings s = self.settings();
    return s.amount[0] > 0 || s.amount[1] > 0 || s.amount[2] > 0;
}

void parameterChanged(fx::Effect& e, int index)
{
    auto& self = static_cast<Grain&>(e);
    if (index != Grain::Preset && index != Grain::Monochrome)
        return;
    const int32_t preset = self.preset();
    if (index == Grain::Preset && self.hostCreated() && preset != 0) {
        const GrainPreset& p = kPresets[preset];
        self.own[Grain::Monochrome].boolean.current = p.monochrome ? 1 : 0;
        self.own[Grain::Monochrome].orFlags(fx::ParamFlag::Dirty);
        for (int c = 0; c < 3; ++c) {
            const double values[3] = {p.size[c], p.amount[c], p.softness[c]};
            const int first[3] = {Grain::SizeRed, Grain::AmountRed, Grain::SoftnessRed};
            for (int k = 0; k < 3; ++k) {
                fx::Parameter& param = self.own[first[k] + c];
                param.range.current = values[k];
                param.orFlags(fx::ParamFlag::Dirty);
            }
        }
    }
    const bool editable = self.hostCreated() || preset == 0;
    const bool colour = editable && !self.valueAsBool(Grain::Monochrome);
    for (int i : {Grain::SizeGreen, Grain::SizeBlue, Grain::AmountGreen, Grain::AmountBlue, Grain::SoftnessGreen,
                  Grain::SoftnessBlue})
        self.own[i].setEnabled(colour);
    for (int i : {Grain::Monochrome, Grain::SizeRed, Grain::AmountRed, Grain::SoftnessRed, Grain::ResponsePosition,
                  Grain::ResponseRange, Grain::ResponseMinimum})
        self.own[i].setEnabled(editable);
}

// One side's reach: ceil(scale * size) pixels, saturating.
int32_t reach(double scale, double size)
{
    const double r = std::ceil(scale * size);
    return r > 0 ? fx::truncToInt32(r) : 0;
}

int32_t addSaturating(int32_t a, int64_t b)
{
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{a} + b, INT32_MIN, INT32_MAX));
}

void inputRect(fx::Effect& e, fx::RenderInfo* info, fx::Rect* rect)
{
    const auto& self = static_cast<const Grain&>(e);
    const GrainSettings s = self.settings();
    // The largest size, not below 0 (NaN counts as 0).
    double largest = 0;
    for (double size : s.size)
        largest = std::max(largest, size);
    const int32_t dx = reach(info->scaleX, largest);
    const int32_t dy = reach(largest, info->scaleY);
    rect->left = addSaturating(rect->left, -int64_t{dx});
    rect->right = addSaturating(rect->right, dx);
    rect->top = addSaturating(rect->top, -int64_t{dy});
    rect->bottom = addSaturating(rect->bottom, dy);
}

void beginRender(fx::Effect& e, fx::RenderInfo*)
{
    auto& self = static_cast<Grain&>(e);
    const GrainSettings s = self.settings();
    self.engine.setSizes(s.size[0], s.size[1], s.size[2]);
    self.engine.setSoftness(static_cast<float>(s.softness[0]), static_cast<float>(s.softness[1]),
                            static_cast<float>(s.softness[2]));
    self.engine.setAmounts(s.amount[0], s.amount[1], s.amount[2]);
    self.engine.setResponse(self.valueAsDouble(Grain::ResponsePosition), self.valueAsDouble(Grain::ResponseRange),
                            self.valueAsDouble(Grain::ResponseMinimum));
    self.view = self.original() ? Original : Output;
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<Grain&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    if (self.view != Output)
        return;
    self.engine.setScale(info->scaleX, info->scaleY);
    self.engine.setPasses(info->passes);
    // The band being produced, in the output buffer's coordinates (the buffer holds the band and
    // its border); without a band inside the buffer, the whole buffer.
    const fx::Rect& t = info->tileRect;
    fx::Rect band{t.top - out->bounds.top, t.left - out->bounds.left, t.bottom - out->bounds.top,
                  t.right - out->bounds.left};
    band.top = std::max(band.top, info->renderRect.top);
    band.left = std::max(band.left, info->renderRect.left);
    band.bottom = std::min(band.bottom, info->renderRect.bottom);
    band.right = std::min(band.right, info->renderRect.right);
    if (band.empty())
        band = info->renderRect;
    self.engine.render(*out, band, *info, self.settings().monochrome);
}

} // namespace

const fx::EffectOps grainOps = {
    fx::createSlot<Grain>, fx::cloneSlot<Grain>, fx::destroySlot<Grain>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, beginRender, renderTile,
    parameterChanged, inputRect,
};

} // namespace orvo
