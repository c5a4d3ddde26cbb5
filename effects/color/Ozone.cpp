// "Ozone": eleven-zone tonal correction. Each zone is a range weight curve over a per-pixel key (the
// "Extract On" quantity) with its own brightness, contrast, gamma and channel gains. The active
// zones are folded into three float accumulators indexed by the key:
//   A_c[L] += (L / max) W[L] ((T[L] - L) / max + gain_c)
// and every colour channel gets c' = clamp(c + trunc(A_c[key])); the truncated values are tabulated
// with the accumulators.

#include "effects/EffectSupport.h"
#include "effects/color/ToneEffectSupport.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/Numeric.h"
#include "framework/RenderInfo.h"
#include "imaging/color/ColorPrimitives.h"
#include "imaging/pixel/Pixel.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace orvo {

extern const fx::EffectOps ozoneOps;

namespace {

constexpr int kZones = 11;

// The per-zone settings, in their order inside a zone group; keys are the prefix and the zone number.
enum Field : int { Pos = 0, Rng, Bri, Con, Gam, Red, Grn, Blu, FieldCount };
struct FieldInfo {
    const char* prefix;
    const char* label;
    double minimum, maximum;
};
constexpr FieldInfo kFields[FieldCount] = {
    {"pos", "Position", 0, 100},      {"rng", "Range", 0, 100},     {"bri", "Brightness", -100, 100},
    {"con", "Contrast", -100, 100},   {"gam", "Gamma", -100, 100},  {"red", "Red", -200, 200},
    {"grn", "Green", -200, 200},      {"blu", "Blue", -200, 200},
};
constexpr int kZoneRecords = FieldCount + 2;  // GroupBegin, the fields, GroupEnd

const char* const kExtract[] = {"Luminance", "Hue", "Saturation", "Average", "Red",
                                "Green", "Blue", "Cyan", "Magenta", "Yellow"};
enum Extract : int32_t { Luminance = 0, Hue, Saturation, Average, RedKey, GreenKey, BlueKey, Cyan, Magenta, Yellow,
                         ExtractCount };

enum View : int32_t { Output = 0, FirstZoneView = 1, Original = kZones + 1, ViewCount };

// The generated keys and labels, in static storage for the lifetime of the process.
struct ZoneNames {
    char groupKey[kZones][8];
    char groupLabel[kZones][8];
    char fieldKey[kZones][FieldCount][8];
    const char* views[ViewCount];

    ZoneNames()
    {
        views[Output] = "Output";
        views[Original] = "Original";
        for (int k = 0; k < kZones; ++k) {
            std::snprintf(groupKey[k], sizeof groupKey[k], "zone%d", k);
            std::snprintf(groupLabel[k], sizeof groupLabel[k], "Zone %d", k);
            for (int f = 0; f < FieldCount; ++f)
                std::snprintf(fieldKey[k][f], sizeof fieldKey[k][f], "%s%d", kFields[f].prefix, k);
            views[FirstZoneView + k] = groupLabel[k];
        }
    }
};

const ZoneNames& zoneNames()
{
    static const ZoneNames names;
    return names;
}

using Settings = std::array<double, kZones * FieldCount>;

struct Ozone : fx::Effect {
    enum : int { Input = 0, ViewParam, Use, FirstZone, Count = FirstZone + kZones * kZoneRecords };
    static_assert(Count == 113);
    static constexpr int fieldIndex(int zone, int field) { return FirstZone + zone * kZoneRecords + 1 + field; }

    fx::Parameter own[Count];
    tone::RangeWeights weights[kZones];
    // trunc(A_c[L]) of the float accumulators A_R, A_G, A_B, limited to -max..max (which leaves
    // clamp(c + shift) unchanged for every level c).
    std::vector<int32_t> shift[3];
    Settings built{};
    int builtWidth = 0;

    Ozone() : Effect(&ozoneOps)
    {
        const ZoneNames& names = zoneNames();
        own[Input].initInput("input", "Input");
        own[ViewParam].initList("view", "View", names.views, ViewCount, Output);
        own[Use].initList("use", "Extract On", kExtract, ExtractCount, Luminance);
        for (int k = 0; k < kZones; ++k) {
            fx::Parameter* p = own + FirstZone + k * kZoneRecords;
            p[0].initGroupBegin(names.groupKey[k], names.groupLabel[k], true);
            for (int f = 0; f < FieldCount; ++f) {
                const double def = f == Pos ? 10.0 * k : (f == Rng ? 30.0 : 0.0);
                p[1 + f].initRange(names.fieldKey[k][f], kFields[f].label, kFields[f].minimum, kFields[f].maximum,
                                   def, 0);
            }
            p[kZoneRecords - 1].initGroupEnd();
        }
        setParameters(own, Count);
    }

    int32_t currentView() const { return tone::viewIndex(*this, ViewParam, ViewCount, Original); }

    Settings settings() const
    {
        Settings s{};
        for (int k = 0; k < kZones; ++k)
            for (int f = 0; f < FieldCount; ++f)
                s[k * FieldCount + f] = valueAsDouble(fieldIndex(k, f)) / 100;
        return s;
    }

    static bool zoneActive(const Settings& s, int k)
    {
        for (int f = Bri; f < FieldCount; ++f)
            if (s[k * FieldCount + f] != 0)
                return true;
        return false;
    }

    template <class Traits>
    const typename Traits::value_type* zoneWeights(int k)
    {
        return weights[k].get<Traits>(built[k * FieldCount + Pos], built[k * FieldCount + Rng]);
    }

    template <class Traits>
    void buildAccumulators(const Settings& s)
    {
        using V = typename Traits::value_type;
        constexpr int32_t n = Traits::tableSize;
        const float inv = imaging::kInvFullScale<Traits>;
        built = s;
        builtWidth = Traits::sixteenBit ? 16 : 8;
        std::vector<float> acc[3];
        for (auto& a : acc)
            a.assign(n, 0.0f);
        std::vector<V> tone(n);
        for (int k = 0; k < kZones; ++k) {
            if (!zoneActive(s, k))
                continue;
            const double* z = s.data() + k * FieldCount;
            const V* w = zoneWeights<Traits>(k);
            imaging::buildToneTable<Traits>(tone.data(), z[Bri], z[Con], z[Gam]);
            for (int c = 0; c < 3; ++c) {
                const double gain = z[Red + c];
                float* a = acc[c].data();
                for (int32_t l = 0; l < n; ++l) {
                    const float weighted = static_cast<float>(l) * inv * static_cast<float>(w[l]);
                    const float toneShift = static_cast<float>(tone[l] - l) * inv;
                    a[l] += weighted * (toneShift + gain);
                }
            }
        }
        for (int c = 0; c < 3; ++c) {
            shift[c].resize(n);
            for (int32_t l = 0; l < n; ++l)
                shift[c][l] = std::clamp(fx::truncToInt32(acc[c][l]), -Traits::fullScale, Traits::fullScale);
        }
    }
};

// Calls f with the key function of an "Extract On" entry: key(r, g, b) -> 0..max.
template <class Traits, class F>
void withKey(int32_t use, F&& f)
{
    constexpr int32_t full = Traits::fullScale;
    switch (use) {
    case Hue:
        return f([](int32_t r, int32_t g, int32_t b) -> int32_t {
            const float inv = imaging::kInvFullScale<Traits>;
            const imaging::Hsv p = imaging::rgbToHsv(r * inv, g * inv, b * inv);
            if (p.h == imaging::kUndefinedHue)
                return 0;
            const auto k = static_cast<int32_t>(p.h * 0.0027777778f * static_cast<float>(full));
            return k < 0 ? 0 : (k > full ? full : k);
        });
    case Saturation:
        return f([](int32_t r, int32_t g, int32_t b) -> int32_t {
            const float inv = imaging::kInvFullScale<Traits>;
            const imaging::Hsv p = imaging::rgbToHsv(r * inv, g * inv, b * inv);
            const auto k = static_cast<int32_t>(p.s * static_cast<float>(full));
            return k < 0 ? 0 : (k > full ? full : k);
        });
    case Average: return f([](int32_t r, int32_t g, int32_t b) { return (r + g + b) / 3; });
    case RedKey: return f([](int32_t r, int32_t, int32_t) { return r; });
    case GreenKey: return f([](int32_t, int32_t g, int32_t) { return g; });
    case BlueKey: return f([](int32_t, int32_t, int32_t b) { return b; });
    case Cyan: return f([](int32_t, int32_t g, int32_t b) { return (g + b) / 2; });
    case Magenta: return f([](int32_t r, int32_t, int32_t b) { return (r + b) / 2; });
    case Yellow: return f([](int32_t r, int32_t g, int32_t) { return (r + g) / 2; });
    case Luminance:
    default: return f([](int32_t r, int32_t g, int32_t b) { return imaging::luma<Traits>(r, g, b); });
    }
}

const char* title(fx::Effect*) { return "Orvo Ozone"; }
const char* description(fx::Effect*) { return "Color correction"; }

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const Ozone&>(e);
    const int32_t view = self.currentView();
    if (view == Original)
        return false;
    if (view != Output)
        return true;
    const Settings s = self.settings();
    for (int k = 0; k < kZones; ++k)
        if (Ozone::zoneActive(s, k))
            return true;
    return false;
}

void beginRender(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<Ozone&>(e);
    const Settings now = self.settings();
    if (now == self.built && (info->sixteenBit ? 16 : 8) == self.builtWidth)
        return;
    fx::withChannelTraits(info->sixteenBit != 0, [&](auto traits) { self.buildAccumulators<decltype(traits)>(now); });
}

template <class Traits, class Key>
void correct(const fx::Image& in, fx::Image& out, const fx::Rect& rect, const int32_t* const shift[3], Key key)
{
    using V = typename Traits::value_type;
    const int32_t *ar = shift[0], *ag = shift[1], *ab = shift[2];
    tone::forEachRow<Traits>(in, out, rect, [&](const V* s, V* d, int32_t n) {
        for (int32_t i = 0; i < n; ++i, s += 4, d += 4) {
            const int32_t r = tone::level<Traits>(s[0]), g = tone::level<Traits>(s[1]), b = tone::level<Traits>(s[2]);
            const int32_t k = key(r, g, b);
            d[0] = fx::clampChannel<Traits>(r + ar[k]);
            d[1] = fx::clampChannel<Traits>(g + ag[k]);
            d[2] = fx::clampChannel<Traits>(b + ab[k]);
            d[3] = s[3];
        }
    });
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<Ozone&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    const int32_t view = self.currentView();
    if (view == Original || in->bytesPerChannel != out->bytesPerChannel)
        return;
    fx::withChannelTraits(out->sixteenBit(), [&](auto traits) {
        using Traits = decltype(traits);
        if (self.builtWidth != (Traits::sixteenBit ? 16 : 8))
            self.buildAccumulators<Traits>(self.built);
        withKey<Traits>(self.valueAsInt(Ozone::Use), [&](auto key) {
            if (view == Output) {
                const int32_t* const shift[3] = {self.shift[0].data(), self.shift[1].data(), self.shift[2].data()};
                correct<Traits>(*in, *out, info->renderRect, shift, key);
            } else {
                tone::showWeights<Traits>(*in, *out, info->renderRect, self.zoneWeights<Traits>(view - FirstZoneView),
                                          key);
            }
        });
    });
}

} // namespace

const fx::EffectOps ozoneOps = {
    fx::createSlot<Ozone>, fx::cloneSlot<Ozone>, fx::destroySlot<Ozone>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, beginRender, renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
