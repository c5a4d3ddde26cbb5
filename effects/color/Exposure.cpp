#include "effects/EffectSupport.h"
#include "effects/color/Exposure.h"

#include "framework/ChannelTraits.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/color/ColorPrimitives.h"
#include "imaging/color/LinearLight.h"
#include "imaging/pixel/Pixel.h"

#include <cmath>

namespace orvo {

namespace {

const char* const kViews[] = {"Output", "Shadows", "Midtones", "Highlights", "Original"};

struct RangeNames {
    const char *key, *label, *pos, *span, *red, *green, *blue, *gang;
    double position, range;
};
constexpr RangeNames kRanges[3] = {
    {"shadows", "Shadows", "sPos", "sRange", "sRed", "sGreen", "sBlue", "sGang", 0, 80},
    {"midtones", "Midtones", "mPos", "mRange", "mRed", "mGreen", "mBlue", "mGang", 50, 40},
    {"highlights", "Highlights", "hPos", "hRange", "hRed", "hGreen", "hBlue", "hGang", 100, 80},
};

constexpr uint32_t kGroupDisplayFlag = 256;
constexpr int kLinearLevels = fx::Channel16::tableSize;

// The first exposure record of each group (red; green, blue and gang follow).
constexpr int kExposureStart[4] = {ExposureEffect::MasterRed, ExposureEffect::rangeStart(0) + 3,
                                   ExposureEffect::rangeStart(1) + 3, ExposureEffect::rangeStart(2) + 3};

// trunc(v) limited to 0..32768.
inline int32_t linearLevel(float v)
{
    if (!(v > 0))
        return 0;
    return v >= 32768.0f ? 32768 : static_cast<int32_t>(v);
}

} // namespace

ExposureEffect::ExposureEffect(const fx::EffectOps* o, const ExposureScale& s) : Effect(o), scale(s)
{
    own[Input].initInput("input", "Input");
    own[ViewParam].initList("view", "View", kViews, ViewCount, Output);
    const auto exposures = [&](fx::Parameter* p, const char* red, const char* green, const char* blue,
                               const char* gang) {
        p[0].initRange(red, "Red Exposure", s.minimum, s.maximum, s.defaultValue, 0);
        p[1].initRange(green, "Green Exposure", s.minimum, s.maximum, s.defaultValue, 0);
        p[2].initRange(blue, "Blue Exposure", s.minimum, s.maximum, s.defaultValue, 0);
        p[3].initBoolean(gang, "Gang", false);
        p[3].orFlags(fx::ParamFlag::NotifyOnChange);
    };
    own[Master].initGroupBegin("master", "Master", false);
    own[Master].orFlags(kGroupDisplayFlag);
    exposures(own + MasterRed, "red", "green", "blue", "gang");
    own[MasterEnd].initGroupEnd();
    for (int k = 0; k < 3; ++k) {
        const RangeNames& n = kRanges[k];
        fx::Parameter* p = own + rangeStart(k);
        p[0].initGroupBegin(n.key, n.label, false);
        p[1].initRange(n.pos, "Position", 0, 100, n.position, 0);
        p[2].initRange(n.span, "Range", 0, 100, n.range, 0);
        exposures(p + 3, n.red, n.green, n.blue, n.gang);
        p[7].initGroupEnd();
    }
    setParameters(own, Count);
}

ExposureEffect::Settings ExposureEffect::settings() const
{
    Settings s;
    for (int g = 0; g < 4; ++g) {
        const int at = kExposureStart[g];
        const bool gang = valueAsBool(at + 3) != 0;
        for (int c = 0; c < 3; ++c)
            s.offsets[3 * g + c] = valueAsDouble(gang ? at : at + c) - scale.defaultValue;
    }
    for (int k = 0; k < 3; ++k) {
        s.ranges[2 * k] = tone::percent(*this, rangeStart(k) + 1);
        s.ranges[2 * k + 1] = tone::percent(*this, rangeStart(k) + 2);
    }
    return s;
}

bool ExposureEffect::anyExposure() const
{
    for (double v : settings().offsets)
        if (v != 0)
            return true;
    return false;
}

// F_c[i] = 2^x_c with x_c = scale (wh high_c + ws shadow_c + wm mid_c + master_c), the weights of
// linear luminance level i taken as fractions of 32768.
void ExposureEffect::rebuild(const Settings& s)
{
    const uint16_t* w[3];
    for (int k = 0; k < 3; ++k)
        w[k] = weights[k].get<fx::Channel16>(s.ranges[2 * k], s.ranges[2 * k + 1]);
    const double stops = scale.stopsPerUnit;
    for (int c = 0; c < 3; ++c) {
        std::vector<float>& f = factors[c];
        f.resize(kLinearLevels);
        const double master = s.offsets[c], shadow = s.offsets[3 + c], mid = s.offsets[6 + c],
                     high = s.offsets[9 + c];
        for (int32_t i = 0; i < kLinearLevels; ++i) {
            const double ws = w[0][i] / 32768.0, wm = w[1][i] / 32768.0, wh = w[2][i] / 32768.0;
            const double x = stops * (wh * high + ws * shadow + wm * mid + master);
            f[i] = static_cast<float>(x < 0 ? 1.0 / std::exp2(-x) : std::exp2(x));
        }
    }
    built = s;
    builtValid = true;
}

namespace {

// The input decoded to 16-bit linear light (every channel), each colour channel multiplied by its
// factor at the linear luminance, and the result encoded back to the output's width (every channel
// again). This is the linear-light round trip through a work image, done pixel by pixel through the
// same process-wide tables.
template <class Traits>
void exposeLinear(const fx::Image& in, fx::Image& out, const fx::Rect& rect, const float* const f[3])
{
    using V = typename Traits::value_type;
    const imaging::LinearLightTables& t = imaging::linearLightTables();
    const uint16_t* decode;
    const V* encode;
    if constexpr (Traits::sixteenBit) {
        decode = t.decode16;
        encode = t.encode16;
    } else {
        decode = t.decode8;
        encode = t.encode8;
    }
    const float *fr = f[0], *fg = f[1], *fb = f[2];
    tone::forEachRow<Traits>(in, out, rect, [&](const V* s, V* d, int32_t n) {
        for (int32_t i = 0; i < n; ++i, s += 4, d += 4) {
            const int32_t r = decode[tone::level<Traits>(s[0])];
            const int32_t g = decode[tone::level<Traits>(s[1])];
            const int32_t b = decode[tone::level<Traits>(s[2])];
            const int32_t a = decode[tone::level<Traits>(s[3])];
            const int32_t y = imaging::luma16(r, g, b);
            d[0] = encode[linearLevel(static_cast<float>(r) * fr[y])];
            d[1] = encode[linearLevel(static_cast<float>(g) * fg[y])];
            d[2] = encode[linearLevel(static_cast<float>(b) * fb[y])];
            d[3] = encode[a];
        }
    });
}

} // namespace

namespace exposure {

const char* vendorName(fx::Effect* e) { return fx::defaults::vendorName(e); }
const char* productTitle(fx::Effect* e) { return fx::defaults::productTitle(e); }
const char* productKey(fx::Effect* e) { return fx::defaults::productKey(e); }

bool isActive(const fx::Effect& e)
{
    const auto& self = static_cast<const ExposureEffect&>(e);
    const int32_t view = self.currentView();
    return view != ExposureEffect::Original && (view != ExposureEffect::Output || self.anyExposure());
}

void beginRender(fx::Effect& e, fx::RenderInfo*)
{
    auto& self = static_cast<ExposureEffect&>(e);
    const ExposureEffect::Settings now = self.settings();
    if (!self.builtValid || !(now == self.built))
        self.rebuild(now);
}

void renderTile(fx::Effect& e, fx::RenderInfo* info)
{
    auto& self = static_cast<ExposureEffect&>(e);
    const fx::Image* in = nullptr;
    fx::Image* out = nullptr;
    if (!startTile(self, info, &in, &out))
        return;
    const int32_t view = self.currentView();
    if (view == ExposureEffect::Original || in->bytesPerChannel != out->bytesPerChannel)
        return;
    if (!self.builtValid)
        self.rebuild(self.settings());
    fx::withChannelTraits(out->sixteenBit(), [&](auto traits) {
        using Traits = decltype(traits);
        if (view == ExposureEffect::Output) {
            const float* const f[3] = {self.factors[0].data(), self.factors[1].data(), self.factors[2].data()};
            exposeLinear<Traits>(*in, *out, info->renderRect, f);
            return;
        }
        const int k = view - ExposureEffect::ShadowsView;
        const auto* w = self.weights[k].get<Traits>(self.built.ranges[2 * k], self.built.ranges[2 * k + 1]);
        tone::showWeights<Traits>(*in, *out, info->renderRect, w, imaging::luma<Traits>);
    });
}

void parameterChanged(fx::Effect& e, int index)
{
    for (int at : kExposureStart)
        if (index == at + 3 && index < e.parameterCount()) {
            const bool gang = e.valueAsBool(index) != 0;
            e.parameterAt(index - 1)->setEnabled(!gang);
            e.parameterAt(index - 2)->setEnabled(!gang);
        }
}

} // namespace exposure

} // namespace orvo
