// "BleachBypass": the colour image overlaid with a contrast-shaped grey copy of itself, mixed back
// by Amount, with an optional saturation change before the overlay and a warm/cool shift after it.

#include "effects/EffectSupport.h"
#include "effects/color/ToneEffectSupport.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/Numeric.h"
#include "framework/RenderInfo.h"
#include "imaging/color/ColorPrimitives.h"
#include "imaging/pixel/Overlay.h"
#include "imaging/pixel/Pixel.h"

#include <vector>

namespace orvo {

extern const fx::EffectOps bleachBypassOps;

namespace {

const char* const kViews[] = {"Output", "Original"};
enum View : int32_t { Output = 0, Original = 1, ViewCount };

constexpr uint32_t kAmountDisplayFlag = 0x4000;

struct BleachBypass : fx::Effect {
    enum : int { Input = 0, ViewParam, Amount, Saturation, Contrast, Temperature, Count };

    // The tone table of the contrast, kept with the contrast and width it was built for.
    std::vector<uint8_t> tone8;
    std::vector<uint16_t> tone16;
    float builtContrast = 0;
    int builtWidth = 0;

    BleachBypass() : Effect(&bleachBypassOps)
    {
        table[Input].initInput("background", "Background");
        table[ViewParam].initList("view", "View", kViews, ViewCount, Output);
        table[Amount].initRange("amount", "Amount", 0, 100, 100, 0);
        table[Amount].orFlags(kAmountDisplayFlag);
        table[Saturation].initRange("saturation", "Saturation", -100, 100, 0, 0);
        table[Contrast].initRange("contrast", "Contrast", -100, 100, 0, 0);
        table[Temperature].initRange("temperature", "Temperature", -100, 100, 0, 0);
        setParameters(table, Count);
    }

    bool output() const { return valueAsInt(ViewParam) == Output; }

    template <class Traits>
    const typename Traits::value_type* toneTable()
    {
        auto& t = [this]() -> auto& {
            if constexpr (Traits::sixteenBit)
                return tone16;
            else
                return tone8;
        }();
        const float contrast = tone::percent(*this, Contrast);
        const int width = Traits::sixteenBit ? 16 : 8;
        if (builtWidth != width || builtContrast != contrast || t.empty()) {
            t.resize(Traits::tableSize);
            imaging::buildToneTable<Traits>(t.data(), 0, contrast, 0);
            builtContrast = contrast;
            builtWidth = width;
        }
        return t.data();
    }
};

const char* title(fx::Effect*) { return "Orvo Bleach Bypass"; }
const char* description(fx::Effect*) { return "Tint a gradiated portion of the image."; }

void beginRender(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<BleachBypass&>(e);
    fx::withChannelTraits(info->sixteenBit != 0, [&](auto traits) { self.toneTable<decltype(traits)>(); });
}

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const BleachBypass&>(e);
    return self.output()
        && (self.valueAsDouble(BleachBypass::Amount) > 0 || self.valueAsDouble(BleachBypass::Temperature) != 0);
}

// Per pixel: g = T[luma]; q = the pixel with its HSV saturation scaled by 1 + s (when s != 0 and the
// hue is defined); o = overlay of q with g; out = (o k + pixel (max - k)) / max, A kept.
template <class Traits>
void bleach(const fx::Image& in, fx::Image& out, const fx::Rect& rect, const typename Traits::value_type* tone,
            float saturation, int32_t k)
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    const float inv = imaging::kInvFullScale<Traits>;
    const float satFactor = 1 + saturation;
    tone::forEachRow<Traits>(in, out, rect, [&](const V* s, V* d, int32_t n) {
        for (int32_t i = 0; i < n; ++i, s += 4, d += 4) {
            const int32_t p[3] = {tone::level<Traits>(s[0]), tone::level<Traits>(s[1]), tone::level<Traits>(s[2])};
            const int32_t g = tone[imaging::luma<Traits>(p[0], p[1], p[2])];
            int32_t q[3] = {p[0], p[1], p[2]};
            if (saturation != 0) {
                imaging::Hsv h = imaging::rgbToHsv(p[0] * inv, p[1] * inv, p[2] * inv);
                if (h.h != imaging::kUndefinedHue) {
                    const float sat = h.s * satFactor;
                    h.s = sat < 0 ? 0.0f : (sat > 1 ? 1.0f : sat);
                    const imaging::RgbF c = imaging::hsvToRgb(h.h, h.s, h.v);
                    q[0] = imaging::truncToChannel<Traits>(c.r * static_cast<float>(full));
                    q[1] = imaging::truncToChannel<Traits>(c.g * static_cast<float>(full));
                    q[2] = imaging::truncToChannel<Traits>(c.b * static_cast<float>(full));
                }
            }
            for (int c = 0; c < 3; ++c) {
                const int32_t o = imaging::overlay<Traits>(q[c], g);
                d[c] = static_cast<V>((o * k + p[c] * (full - k)) / full);
            }
            d[3] = s[3];
        }
    });
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<BleachBypass&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    if (!self.output() || in->bytesPerChannel != out->bytesPerChannel)
        return;
    const float amount = tone::percent(self, BleachBypass::Amount);
    fx::withChannelTraits(out->sixteenBit(), [&](auto traits) {
        using Traits = decltype(traits);
        const int32_t k = fx::scaleToChannel(amount, Traits::fullScale);
        bleach<Traits>(*in, *out, info->renderRect, self.toneTable<Traits>(),
                       tone::percent(self, BleachBypass::Saturation), k);
    });
    const float t = tone::percent(self, BleachBypass::Temperature);
    if (t != 0 && out->channels == 4)
        imaging::warmCoolShift(*out, info->renderRect, t);
}

} // namespace

const fx::EffectOps bleachBypassOps = {
    fx::createSlot<BleachBypass>, fx::cloneSlot<BleachBypass>, fx::destroySlot<BleachBypass>,
    title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    description, nullptr, fx::defaults::version, isActive, beginRender, renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
