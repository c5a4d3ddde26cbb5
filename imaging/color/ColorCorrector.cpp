#include "imaging/color/ColorCorrector.h"

#include "framework/ChannelTraits.h"
#include "framework/Image.h"
#include "framework/Parameter.h"
#include "imaging/color/ColorPrimitives.h"
#include "imaging/color/SplineCurve.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace imaging {

namespace {

namespace Flag {
constexpr uint32_t Red = 256;
constexpr uint32_t Green = 512;
constexpr uint32_t Blue = 1024;
constexpr uint32_t Percent = 0x4000;
} // namespace Flag

// Indices inside the block.
enum : int {
    kMasterGroup = 0, kHue, kSaturation, kBrightness, kContrast, kGamma, kRed, kGreen, kBlue,
    kFlashAmount, kFlashColor, kMasterEnd,
    kFirstRangeGroup = 12,  // then 10 records per range
};
enum : int { kRangeGroup = 0, kPos, kRange, kBri, kCon, kGam, kR, kG, kB, kRangeEnd, kRangeStride };

struct RangeKeys {
    const char* group;
    const char* label;
    const char* keys[8];  // position, range, brightness, contrast, gamma, red, green, blue
};
const RangeKeys kRangeKeys[3] = {
    {"ccShad", "Shadows",
     {"ccShadPos", "ccShadRange", "ccShadBri", "ccShadCon", "ccShadGam", "ccShadR", "ccShadG", "ccShadB"}},
    {"ccMid", "Midtones",
     {"ccMidPos", "ccMidRange", "ccMidBri", "ccMidCon", "ccMidGam", "ccMidR", "ccMidG", "ccMidB"}},
    {"ccHigh", "Highlights",
     {"ccHighPos", "ccHighRange", "ccHighBri", "ccHighCon", "ccHighGam", "ccHighR", "ccHighG", "ccHighB"}},
};

void checkCount(int count)
{
    if (count != ColorCorrector::FullParameterCount && count != ColorCorrector::MasterParameterCount)
        throw std::invalid_argument("colour corrector: parameter block of 42 or 12 records");
}

// A percent parameter as a fraction, in single precision.
float percent(const fx::Parameter& p)
{
    return static_cast<float>(p.range.current) / 100.0f;
}

// trunc(v) clamped to 0..full; NaN gives 0.
int32_t truncClamp(float v, int32_t full)
{
    if (!(v > 0))
        return 0;
    return v >= static_cast<float>(full) ? full : static_cast<int32_t>(v);
}

template <class Traits>
int32_t levelOf(float unit)
{
    return truncClamp(unit * static_cast<float>(Traits::fullScale), Traits::fullScale);
}

// Stored 16-bit levels above full scale are read as full scale, so every look-up stays in its table.
template <class Traits>
int32_t readLevel(typename Traits::value_type v)
{
    if constexpr (Traits::sixteenBit)
        return v > Traits::fullScale ? Traits::fullScale : v;
    else
        return v;
}

template <class Traits>
int32_t addClamp(int32_t level, int32_t delta)
{
    const int32_t v = level + delta;
    return v < 0 ? 0 : (v > Traits::fullScale ? Traits::fullScale : v);
}

} // namespace

void ColorCorrector::reset()
{
    brightness_ = contrast_ = gamma_ = 0;
    gainR_ = gainG_ = gainB_ = 0;
    hueShift_ = saturation_ = 0;
    flashAmount_ = 0;
    flashColor_[0] = flashColor_[1] = flashColor_[2] = 0;
    ranges_[Shadows] = RangeAdjustment{};
    ranges_[Shadows].position = 0.0f;
    ranges_[Shadows].range = 0.8f;
    ranges_[Midtones] = RangeAdjustment{};
    ranges_[Midtones].position = 0.5f;
    ranges_[Midtones].range = 0.4f;
    ranges_[Highlights] = RangeAdjustment{};
    ranges_[Highlights].position = 1.0f;
    ranges_[Highlights].range = 0.8f;
    active_ = tablesOnly_ = fullSet_ = false;
    builtWidth_ = 0;
    for (int k = 0; k < 3; ++k)
        invalidateWeights(k);
}

void ColorCorrector::defineParameters(fx::Parameter* p, int count) const
{
    checkCount(count);
    static const double white[3] = {1, 1, 1};
    p[kMasterGroup].initGroupBegin("ccMaster", "Master", true);
    p[kMasterGroup].orFlags(Flag::Red);
    p[kHue].initRange("ccMasterHue", "Hue", -360, 360, 0, 0);
    p[kSaturation].initRange("ccMasterSat", "Saturation", -100, 100, 0, 0);
    p[kSaturation].orFlags(Flag::Percent);
    p[kBrightness].initRange("ccBrightness", "Brightness", -100, 100, 0, 0);
    p[kContrast].initRange("ccContrast", "Contrast", -100, 100, 0, 0);
    p[kGamma].initRange("ccGamma", "Gamma", -100, 100, 0, 0);
    p[kRed].initRange("ccMasterR", "Red", -100, 100, 0, 0);
    p[kRed].orFlags(Flag::Red);
    p[kGreen].initRange("ccMasterG", "Green", -100, 100, 0, 0);
    p[kGreen].orFlags(Flag::Green);
    p[kBlue].initRange("ccMasterB", "Blue", -100, 100, 0, 0);
    p[kBlue].orFlags(Flag::Blue);
    p[kFlashAmount].initRange("ccTintAmount", "Flash Amount", 0, 100, 0, 0);
    p[kFlashAmount].orFlags(Flag::Percent);
    p[kFlashColor].initColor("ccTintColor", "Flash Color", white);
    p[kMasterEnd].initGroupEnd();
    if (count != FullParameterCount)
        return;
    for (int k = 0; k < 3; ++k) {
        fx::Parameter* g = p + kFirstRangeGroup + kRangeStride * k;
        const RangeKeys& keys = kRangeKeys[k];
        g[kRangeGroup].initGroupBegin(keys.group, keys.label, true);
        g[kRangeGroup].orFlags(Flag::Red);
        g[kPos].initRange(keys.keys[0], "Position", 0, 100, ranges_[k].position * 100.0f, 0);
        g[kRange].initRange(keys.keys[1], "Range", 0, 100, ranges_[k].range * 100.0f, 0);
        g[kBri].initRange(keys.keys[2], "Brightness", -100, 100, 0, 0);
        g[kCon].initRange(keys.keys[3], "Contrast", -100, 100, 0, 0);
        g[kGam].initRange(keys.keys[4], "Gamma", -100, 100, 0, 0);
        g[kR].initRange(keys.keys[5], "Red", -100, 100, 0, 0);
        g[kR].orFlags(Flag::Red);
        g[kG].initRange(keys.keys[6], "Green", -100, 100, 0, 0);
        g[kG].orFlags(Flag::Green);
        g[kB].initRange(keys.keys[7], "Blue", -100, 100, 0, 0);
        g[kB].orFlags(Flag::Blue);
        g[kRangeEnd].initGroupEnd();
    }
}

bool ColorCorrector::update(const fx::Parameter* p, int count, bool is16Bit)
{
    checkCount(count);
    bool changed = false;
    auto store = [&changed](float& field, float value) {
        if (field != value) {
            field = value;
            changed = true;
        }
    };
    store(brightness_, percent(p[kBrightness]));
    store(contrast_, percent(p[kContrast]));
    store(gamma_, percent(p[kGamma]));
    store(gainR_, percent(p[kRed]));
    store(gainG_, percent(p[kGreen]));
    store(gainB_, percent(p[kBlue]));
    store(hueShift_, static_cast<float>(p[kHue].range.current));
    store(saturation_, static_cast<float>(p[kSaturation].range.current));
    store(flashAmount_, percent(p[kFlashAmount]));
    for (int c = 0; c < 3; ++c)
        store(flashColor_[c], static_cast<float>(p[kFlashColor].color.current[c]));

    const bool full = count == FullParameterCount;
    if (full != fullSet_) {
        fullSet_ = full;
        changed = true;
    }
    if (full) {
        for (int k = 0; k < 3; ++k) {
            const fx::Parameter* g = p + kFirstRangeGroup + kRangeStride * k;
            RangeAdjustment& r = ranges_[k];
            bool moved = false;
            auto storeShape = [&](float& field, float value) {
                if (field != value) {
                    field = value;
                    moved = true;
                }
            };
            storeShape(r.position, percent(g[kPos]));
            storeShape(r.range, percent(g[kRange]));
            if (moved) {
                invalidateWeights(k);
                changed = true;
            }
            store(r.brightness, percent(g[kBri]));
            store(r.contrast, percent(g[kCon]));
            store(r.gamma, percent(g[kGam]));
            store(r.gainR, percent(g[kR]));
            store(r.gainG, percent(g[kG]));
            store(r.gainB, percent(g[kB]));
        }
    }

    const bool ranges = fullSet_ && anyRangeAdjustment();
    active_ = masterNonNeutral() || ranges;
    tablesOnly_ = hueShift_ == 0 && saturation_ == 0 && !ranges;

    const bool widthChanged = builtWidth_ != (is16Bit ? 16 : 8);
    if (changed || widthChanged)
        rebuildTables(is16Bit);
    return changed || widthChanged;
}

bool ColorCorrector::masterNonNeutral() const
{
    return brightness_ != 0 || contrast_ != 0 || gamma_ != 0 || gainR_ != 0 || gainG_ != 0 || gainB_ != 0
        || hueShift_ != 0 || saturation_ != 0 || flashAmount_ > 0;
}

bool ColorCorrector::anyRangeAdjustment() const
{
    for (const RangeAdjustment& r : ranges_)
        if (r.brightness != 0 || r.contrast != 0 || r.gamma != 0 || r.gainR != 0 || r.gainG != 0 || r.gainB != 0)
            return true;
    return false;
}

void ColorCorrector::setMaster(float brightness, float contrast, float gamma, float gainR, float gainG, float gainB)
{
    brightness_ = brightness;
    contrast_ = contrast;
    gamma_ = gamma;
    gainR_ = gainR;
    gainG_ = gainG;
    gainB_ = gainB;
}

void ColorCorrector::storeRange(Range which, float b, float c, float g, float red, float green, float blue,
                                float position, float range)
{
    RangeAdjustment& r = ranges_[which];
    r.brightness = b;
    r.contrast = c;
    r.gamma = g;
    r.gainR = red;
    r.gainG = green;
    r.gainB = blue;
    if (position >= 0 && r.position != position) {
        r.position = position;
        invalidateWeights(which);
    }
    if (range >= 0 && r.range != range) {
        r.range = range;
        invalidateWeights(which);
    }
    fullSet_ = true;
}

void ColorCorrector::setShadows(float b, float c, float g, float red, float green, float blue, float position,
                                float range)
{
    storeRange(Shadows, b, c, g, red, green, blue, position, range);
}

void ColorCorrector::setMidtones(float b, float c, float g, float red, float green, float blue, float position,
                                 float range)
{
    storeRange(Midtones, b, c, g, red, green, blue, position, range);
}

void ColorCorrector::setHighlights(float b, float c, float g, float red, float green, float blue, float position,
                                   float range)
{
    storeRange(Highlights, b, c, g, red, green, blue, position, range);
}

bool ColorCorrector::setTone(float brightness, float contrast, float gamma)
{
    const bool changed = brightness_ != brightness || contrast_ != contrast || gamma_ != gamma;
    brightness_ = brightness;
    contrast_ = contrast;
    gamma_ = gamma;
    if (brightness != 0 || contrast != 0 || gamma != 0)
        active_ = true;
    return changed;
}

void ColorCorrector::setAll(float hueShift, float saturation, float brightness, float contrast, float gamma,
                            float gainR, float gainG, float gainB, bool is16Bit)
{
    hueShift_ = hueShift;
    saturation_ = saturation;
    setMaster(brightness, contrast, gamma, gainR, gainG, gainB);
    fullSet_ = false;
    active_ = hueShift != 0 || saturation != 0 || brightness != 0 || contrast != 0 || gamma != 0 || gainR != 0
        || gainG != 0 || gainB != 0;
    tablesOnly_ = hueShift == 0 && saturation == 0;
    rebuildTables(is16Bit);
}

void ColorCorrector::setHueSaturation(float hueShift, float saturation)
{
    hueShift_ = hueShift;
    saturation_ = saturation;
}

void ColorCorrector::setFlash(float amount, float r, float g, float b)
{
    flashAmount_ = amount;
    flashColor_[0] = r;
    flashColor_[1] = g;
    flashColor_[2] = b;
}

void ColorCorrector::invalidateWeights(int k)
{
    weightValid8_[k] = false;
    weightValid16_[k] = false;
}

template <class Traits>
void ColorCorrector::buildChannelTables()
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    const float gains[3] = {gainR_, gainG_, gainB_};
    for (int c = 0; c < 3; ++c) {
        std::vector<V>& table = [&]() -> std::vector<V>& {
            if constexpr (Traits::sixteenBit)
                return chan16_[c];
            else
                return chan8_[c];
        }();
        table.resize(Traits::tableSize);
        V* t = table.data();
        buildToneTable<Traits>(t, brightness_, contrast_, gamma_);
        const float gain = gains[c];
        if (gain != 0)
            for (int32_t i = 0; i <= full; ++i)
                t[i] = static_cast<V>(truncClamp(gain * static_cast<float>(i) + static_cast<float>(t[i]), full));
        if (flashAmount_ > 0) {
            const int32_t a = truncClamp(flashAmount_ * static_cast<float>(full), full);
            const int32_t k = truncClamp(flashColor_[c] * static_cast<float>(full), full);
            for (int32_t i = 0; i <= full; ++i)
                t[i] = static_cast<V>((a * k + t[i] * (full - a)) / full);
        }
    }
}

template <class Traits>
typename Traits::value_type* ColorCorrector::weightTable(int k)
{
    auto& table = [&]() -> auto& {
        if constexpr (Traits::sixteenBit)
            return weight16_[k];
        else
            return weight8_[k];
    }();
    bool& valid = Traits::sixteenBit ? weightValid16_[k] : weightValid8_[k];
    if (!valid) {
        table.resize(Traits::tableSize);
        buildRangeWeightTable<Traits>(table.data(), ranges_[k].position, ranges_[k].range);
        valid = true;
    }
    return table.data();
}

const uint8_t* ColorCorrector::weightTable8(int k)
{
    return weightTable<fx::Channel8>(k);
}

const uint16_t* ColorCorrector::weightTable16(int k)
{
    return weightTable<fx::Channel16>(k);
}

// delta_c[L] = trunc((L/max) * sum_k ((T_k[L] - L)/max + gain_k,c) * W_k[L]), in extended precision
// with 1/max the single-precision constant; limited to -max..max (the look-up clamps anyway).
template <class Traits>
void ColorCorrector::buildDeltaTables()
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    const long double inv = kInvFullScale<Traits>;
    std::vector<V> tone[3];
    const V* weight[3];
    long double gain[3][3];
    for (int k = 0; k < 3; ++k) {
        const RangeAdjustment& r = ranges_[k];
        tone[k].resize(Traits::tableSize);
        buildToneTable<Traits>(tone[k].data(), r.brightness, r.contrast, r.gamma);
        weight[k] = weightTable<Traits>(k);
        gain[k][0] = r.gainR;
        gain[k][1] = r.gainG;
        gain[k][2] = r.gainB;
    }
    for (int32_t level = 0; level <= full; ++level) {
        const long double scale = static_cast<long double>(level) * inv;
        long double shift[3];
        for (int k = 0; k < 3; ++k)
            shift[k] = static_cast<long double>(tone[k][level] - level) * inv;
        for (int c = 0; c < 3; ++c) {
            long double sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += (shift[k] + gain[k][c]) * weight[k][level];
            const long double d = scale * sum;
            int32_t v = 0;
            if (d >= full)
                v = full;
            else if (d <= -full)
                v = -full;
            else if (d == d)
                v = static_cast<int32_t>(d);
            delta_[c][level] = v;
        }
    }
}

void ColorCorrector::rebuildTables(bool is16Bit)
{
    fx::withChannelTraits(is16Bit, [&](auto traits) {
        using Traits = decltype(traits);
        for (auto& d : delta_)
            d.resize(Traits::tableSize);
        buildChannelTables<Traits>();
        builtWidth_ = Traits::sixteenBit ? 16 : 8;
        if (tablesOnly_)
            return;
        if (!fullSet_) {
            for (auto& d : delta_)
                std::fill(d.begin(), d.end(), 0);
            return;
        }
        buildDeltaTables<Traits>();
    });
}

void ColorCorrector::ensureWidth(bool is16Bit)
{
    if (builtWidth_ != (is16Bit ? 16 : 8))
        rebuildTables(is16Bit);
}

template <class Traits>
void ColorCorrector::applyRowT(const typename Traits::value_type* src, typename Traits::value_type* dst,
                               int32_t count)
{
    using V = typename Traits::value_type;
    if (count <= 0)
        return;
    if (!active_) {
        if (src != dst)
            std::memmove(dst, src, static_cast<std::size_t>(count) * 4 * sizeof(V));
        return;
    }
    ensureWidth(Traits::sixteenBit);
    const V* tr;
    const V* tg;
    const V* tb;
    if constexpr (Traits::sixteenBit) {
        tr = chan16_[0].data(), tg = chan16_[1].data(), tb = chan16_[2].data();
    } else {
        tr = chan8_[0].data(), tg = chan8_[1].data(), tb = chan8_[2].data();
    }
    if (tablesOnly_) {
        for (int32_t i = 0; i < count; ++i, src += 4, dst += 4) {
            const V a = src[3];
            dst[0] = tr[readLevel<Traits>(src[0])];
            dst[1] = tg[readLevel<Traits>(src[1])];
            dst[2] = tb[readLevel<Traits>(src[2])];
            dst[3] = a;
        }
        return;
    }
    const int32_t* dr = delta_[0].data();
    const int32_t* dg = delta_[1].data();
    const int32_t* db = delta_[2].data();
    const bool hsv = hueShift_ != 0 || saturation_ != 0;
    const float inv = kInvFullScale<Traits>;
    const float satFactor = 1 + saturation_ * 0.01f;
    for (int32_t i = 0; i < count; ++i, src += 4, dst += 4) {
        int32_t r = readLevel<Traits>(src[0]);
        int32_t g = readLevel<Traits>(src[1]);
        int32_t b = readLevel<Traits>(src[2]);
        const V a = src[3];
        if (hsv) {
            Hsv p = rgbToHsv(static_cast<float>(r) * inv, static_cast<float>(g) * inv, static_cast<float>(b) * inv);
            if (p.h != kUndefinedHue) {
                p.h += hueShift_;
                if (p.h < 0)
                    p.h += 360;
                else if (p.h > 360)
                    p.h -= 360;
                if (saturation_ != 0) {
                    p.s *= satFactor;
                    p.s = p.s < 0 ? 0.0f : (p.s > 1 ? 1.0f : p.s);
                }
                const RgbF out = hsvToRgb(p.h, p.s, p.v);
                r = levelOf<Traits>(out.r);
                g = levelOf<Traits>(out.g);
                b = levelOf<Traits>(out.b);
            }
        }
        const int32_t y = luma<Traits>(r, g, b);
        dst[0] = tr[addClamp<Traits>(r, dr[y])];
        dst[1] = tg[addClamp<Traits>(g, dg[y])];
        dst[2] = tb[addClamp<Traits>(b, db[y])];
        dst[3] = a;
    }
}

void ColorCorrector::applyRow(const uint8_t* src, uint8_t* dst, int32_t count)
{
    applyRowT<fx::Channel8>(src, dst, count);
}

void ColorCorrector::applyRow(const uint16_t* src, uint16_t* dst, int32_t count)
{
    applyRowT<fx::Channel16>(src, dst, count);
}

template <class Traits>
void ColorCorrector::maskRowT(const typename Traits::value_type* src, typename Traits::value_type* dst,
                              int32_t count, int which)
{
    using V = typename Traits::value_type;
    if (count <= 0)
        return;
    if (which < 0 || which > 2) {
        if (src != dst)
            std::memmove(dst, src, static_cast<std::size_t>(count) * 4 * sizeof(V));
        return;
    }
    const V* w = weightTable<Traits>(which);
    for (int32_t i = 0; i < count; ++i, src += 4, dst += 4) {
        const V grey = w[luma<Traits>(readLevel<Traits>(src[0]), readLevel<Traits>(src[1]),
                                      readLevel<Traits>(src[2]))];
        const V a = src[3];
        dst[0] = dst[1] = dst[2] = grey;
        dst[3] = a;
    }
}

void ColorCorrector::maskRow(const uint8_t* src, uint8_t* dst, int32_t count, int which)
{
    maskRowT<fx::Channel8>(src, dst, count, which);
}

void ColorCorrector::maskRow(const uint16_t* src, uint16_t* dst, int32_t count, int which)
{
    maskRowT<fx::Channel16>(src, dst, count, which);
}

namespace {

// Calls f(rowPointer, pixelCount) for each row of rect clipped to a 4-channel image.
template <class F>
void forEachRow(fx::Image& image, const fx::Rect& rect, F&& f)
{
    if (image.channels != 4)
        throw std::invalid_argument("colour corrector: 4-channel image expected");
    const int32_t top = std::max(rect.top, 0), bottom = std::min(rect.bottom, image.height);
    const int32_t left = std::max(rect.left, 0), right = std::min(rect.right, image.width);
    if (top >= bottom || left >= right)
        return;
    for (int32_t y = top; y < bottom; ++y)
        f(image.row(y) + static_cast<std::ptrdiff_t>(left) * image.bytesPerPixel, right - left);
}

} // namespace

void ColorCorrector::applyRect(fx::Image& image, const fx::Rect& rect)
{
    if (image.sixteenBit())
        forEachRow(image, rect, [this](uint8_t* p, int32_t n) {
            auto* row = reinterpret_cast<uint16_t*>(p);
            applyRowT<fx::Channel16>(row, row, n);
        });
    else
        forEachRow(image, rect, [this](uint8_t* p, int32_t n) { applyRowT<fx::Channel8>(p, p, n); });
}

void ColorCorrector::maskRect(fx::Image& image, const fx::Rect& rect, int which)
{
    if (image.sixteenBit())
        forEachRow(image, rect, [this, which](uint8_t* p, int32_t n) {
            auto* row = reinterpret_cast<uint16_t*>(p);
            maskRowT<fx::Channel16>(row, row, n, which);
        });
    else
        forEachRow(image, rect, [this, which](uint8_t* p, int32_t n) { maskRowT<fx::Channel8>(p, p, n, which); });
}

} // namespace imaging
