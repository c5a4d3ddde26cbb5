#include "imaging/matte/Selection.h"

#include "framework/Effect.h"
#include "imaging/blur/SeparableBlur.h"
#include "imaging/color/ColorPrimitives.h"
#include "imaging/pixel/Pixel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace imaging {

namespace {

using fx::Channel16;
using fx::Channel8;
using fx::Image;
using fx::Rect;

// The list flag the selection group's "Extract On" carries (an effect-private marker).
constexpr uint32_t kExtractOnFlag = 0x4;

Rect clipTo(const Rect& r, const Image& image)
{
    return Rect{std::max(r.top, 0), std::max(r.left, 0), std::min(r.bottom, image.height),
                std::min(r.right, image.width)};
}

float clampUnit(float v)
{
    return v > 0 ? (v < 1 ? v : 1.0f) : 0.0f;  // NaN -> 0
}

} // namespace

// ---- ChannelKey -----------------------------------------------------------------------------

ChannelKey::ChannelKey() : table8_(Channel8::tableSize), table16_(Channel16::tableSize)
{
    for (int32_t i = 0; i < Channel8::tableSize; ++i)
        table8_[i] = static_cast<uint8_t>(i);
    for (int32_t i = 0; i < Channel16::tableSize; ++i)
        table16_[i] = static_cast<uint16_t>(i);
}

void ChannelKey::setCurve(float position, float range)
{
    position_ = position;
    range_ = range;
    zeroWidth_ = !(range > 0);
    if (!zeroWidth_) {
        // The flanks' 0.2 is the single-precision constant; the x positions are single precision.
        const double flank = 0.2f;
        const CurvePoint points[5] = {{position - range, 0.0},
                                      {position - range / 2, flank},
                                      {static_cast<double>(position), 1.0},
                                      {position + range / 2, flank},
                                      {position + range, 0.0}};
        curve_.setPoints(points, 5);
    }
    dirty_ = true;
}

void ChannelKey::setClip(float black, float white)
{
    clipBlack_ = clampUnit(black);
    clipWhite_ = clampUnit(white);
    dirty_ = true;
}

template <class Traits>
void ChannelKey::rebuild(typename Traits::value_type* table)
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    if (zeroWidth_) {
        // A tent of no width keeps only the level at its position.
        std::fill(table, table + Traits::tableSize, V{0});
        if (position_ >= 0 && position_ <= 1)
            table[static_cast<int32_t>(position_ * static_cast<float>(full) + 0.5f)] = static_cast<V>(full);
    } else {
        buildCurveTable<Traits>(table, curve_);
    }
    if (clipBlack_ == 0 && clipWhite_ == 0)
        return;
    const float black = std::min(clipBlack_, 1.0f - clipWhite_);
    const int32_t lo = static_cast<int32_t>(black * static_cast<float>(full));
    const int32_t hi = full - static_cast<int32_t>(clipWhite_ * static_cast<float>(full));
    for (int32_t i = 0; i < Traits::tableSize; ++i) {
        const int32_t v = table[i];
        int32_t out;
        if (v < lo)
            out = 0;
        else if (v > hi)
            out = full;
        else if (hi == lo)
            out = 0;
        else
            out = static_cast<int32_t>(static_cast<double>(v - lo) / (hi - lo) * full);
        table[i] = static_cast<V>(out);
    }
}

template <class Traits>
const typename Traits::value_type* ChannelKey::table()
{
    if constexpr (Traits::sixteenBit) {
        if (dirty_ || builtBytes_ != Traits::bytes)
            rebuild<Traits>(table16_.data());
        dirty_ = false;
        builtBytes_ = Traits::bytes;
        return table16_.data();
    } else {
        if (dirty_ || builtBytes_ != Traits::bytes)
            rebuild<Traits>(table8_.data());
        dirty_ = false;
        builtBytes_ = Traits::bytes;
        return table8_.data();
    }
}

template const uint8_t* ChannelKey::table<Channel8>();
template const uint16_t* ChannelKey::table<Channel16>();

// ---- Extraction -----------------------------------------------------------------------------

namespace {

template <class Traits>
void extract(const Image& source, Image& matte, const Rect& r, int32_t on, const typename Traits::value_type* T)
{
    using V = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    constexpr float inv = kInvFullScale<Traits>;
    // 16-bit values above full scale are not channel levels; they index the table as full scale.
    auto level = [](int32_t v) { return Traits::sixteenBit ? std::min(v, Traits::fullScale) : v; };
    const auto key = static_cast<ExtractOn>(on >= 0 && on < kExtractOnCount ? on : 0);
    for (int32_t y = r.top; y < r.bottom; ++y) {
        const V* p = source.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(r.left);
        V* m = matte.rowAs<V>(y) + r.left;
        const int32_t n = r.width();
        switch (key) {
        case ExtractOn::Luminance:
            for (int32_t x = 0; x < n; ++x, p += 4)
                m[x] = T[level(luma<Traits>(p[0], p[1], p[2]))];
            break;
        case ExtractOn::Hue:
            for (int32_t x = 0; x < n; ++x, p += 4) {
                const Hsv hsv = rgbToHsv(p[0] * inv, p[1] * inv, p[2] * inv);
                if (hsv.h == kUndefinedHue) {
                    m[x] = 0;
                    continue;
                }
                int32_t i = static_cast<int32_t>(hsv.h * 0.0027777778f * static_cast<float>(full));
                i = Traits::sixteenBit ? std::clamp(i, 0, full) : (i & 255);
                m[x] = T[i];
            }
            break;
        case ExtractOn::Saturation:
            for (int32_t x = 0; x < n; ++x, p += 4) {
                const Hsv hsv = rgbToHsv(p[0] * inv, p[1] * inv, p[2] * inv);
                int32_t i = static_cast<int32_t>(hsv.s * static_cast<float>(full));
                i = Traits::sixteenBit ? std::clamp(i, 0, full) : (i & 255);
                m[x] = T[i];
            }
            break;
        case ExtractOn::Average:
            for (int32_t x = 0; x < n; ++x, p += 4)
                m[x] = T[level((p[0] + p[1] + p[2]) / 3)];
            break;
        case ExtractOn::Red:
        case ExtractOn::Green:
        case ExtractOn::Blue: {
            const int c = static_cast<int>(key) - static_cast<int>(ExtractOn::Red);
            for (int32_t x = 0; x < n; ++x, p += 4)
                m[x] = T[level(p[c])];
            break;
        }
        case ExtractOn::Cyan:
            for (int32_t x = 0; x < n; ++x, p += 4)
                m[x] = T[level((p[1] + p[2]) >> 1)];
            break;
        case ExtractOn::Magenta:
            for (int32_t x = 0; x < n; ++x, p += 4)
                m[x] = T[level((p[2] + p[0]) >> 1)];
            break;
        case ExtractOn::Yellow:
            for (int32_t x = 0; x < n; ++x, p += 4)
                m[x] = T[level((p[1] + p[0]) >> 1)];
            break;
        }
    }
}

} // namespace

void extractMatte(const Image& source, Image& matte, const Rect& rect, int32_t extractOn, ChannelKey& key)
{
    if (source.channels != 4 || matte.channels != 1 || source.bytesPerChannel != matte.bytesPerChannel ||
        source.width != matte.width || source.height != matte.height)
        throw std::invalid_argument("extractMatte needs a four-channel source and a one-channel matte of one size");
    if (!source.origin || !matte.origin)
        return;
    const Rect r = clipTo(rect, source);
    if (r.empty())
        return;
    fx::withChannelTraits(source.sixteenBit(), [&](auto traits) {
        using Traits = decltype(traits);
        extract<Traits>(source, matte, r, extractOn, key.table<Traits>());
    });
}

// ---- Shrink / grow --------------------------------------------------------------------------

namespace {

// Radii beyond this reach past any line; limiting them keeps the index arithmetic in range.
constexpr float kMaxShrinkGrowRadius = 1 << 28;

// One soft min (grow = false) or max (grow = true) pass over a line: r = ceil(x) and the outer taps
// at distance r (or the line ends) weigh w = 1 - (r - x).
template <bool grow, class V>
void shrinkGrowLine(const V* v, V* out, int32_t len, float x)
{
    const int32_t r = static_cast<int32_t>(std::ceil(x));
    const float w = 1.0f - (static_cast<float>(r) - x);
    const bool weighed = w < 1.0f;
    auto weigh = [w](int32_t b, int32_t tap) {
        if constexpr (grow) {
            const int32_t t = static_cast<int32_t>(w * static_cast<float>(tap));
            return b < t ? t : b;
        } else {
            return static_cast<float>(tap) < w * static_cast<float>(b) ? static_cast<int32_t>(w * static_cast<float>(tap))
                                                                        : b;
        }
    };
    for (int32_t i = 0; i < len; ++i) {
        int32_t b = v[i];
        int32_t j = static_cast<int32_t>(std::max<int64_t>(0, static_cast<int64_t>(i) - r));
        int32_t k = static_cast<int32_t>(std::min<int64_t>(len - 1, static_cast<int64_t>(i) + r));
        if (weighed) {
            b = weigh(b, v[j]);
            ++j;
            --k;
        }
        for (int32_t t = j; t <= k; ++t) {
            if constexpr (grow)
                b = std::max<int32_t>(b, v[t]);
            else
                b = std::min<int32_t>(b, v[t]);
        }
        if (weighed)
            b = weigh(b, v[k + 1]);
        out[i] = static_cast<V>(b);
    }
}

template <bool grow, class V>
void shrinkGrowRows(Image& matte, const Rect& r, float x, std::vector<V>& line)
{
    const int32_t len = r.width();
    for (int32_t y = r.top; y < r.bottom; ++y) {
        V* row = matte.rowAs<V>(y) + r.left;
        std::copy(row, row + len, line.begin());
        shrinkGrowLine<grow>(line.data(), row, len, x);
    }
}

template <bool grow, class V>
void shrinkGrowColumns(Image& matte, const Rect& r, float x, std::vector<V>& line, std::vector<V>& out)
{
    const int32_t len = r.height();
    for (int32_t c = r.left; c < r.right; ++c) {
        for (int32_t y = 0; y < len; ++y)
            line[y] = matte.rowAs<V>(r.top + y)[c];
        shrinkGrowLine<grow>(line.data(), out.data(), len, x);
        for (int32_t y = 0; y < len; ++y)
            matte.rowAs<V>(r.top + y)[c] = out[y];
    }
}

template <class V>
void shrinkGrow(Image& matte, const Rect& r, bool grow, float x, float y)
{
    std::vector<V> line(static_cast<std::size_t>(std::max(r.width(), r.height())));
    std::vector<V> out(line.size());
    if (grow) {
        if (y > 0)
            shrinkGrowColumns<true>(matte, r, y, line, out);
        if (x > 0)
            shrinkGrowRows<true>(matte, r, x, line);
    } else {
        if (x > 0)
            shrinkGrowRows<false>(matte, r, x, line);
        if (y > 0)
            shrinkGrowColumns<false>(matte, r, y, line, out);
    }
}

// |radius| limited for the line filter; NaN gives 0 (no pass).
float passRadius(double radius)
{
    const float x = static_cast<float>(std::fabs(radius));
    return x > 0 ? std::min(x, kMaxShrinkGrowRadius) : 0.0f;
}

} // namespace

void shrinkGrowMatte(Image& matte, const Rect& rect, double adjust, float scaleX, float scaleY)
{
    if (matte.channels != 1)
        throw std::invalid_argument("shrinkGrowMatte needs a one-channel image");
    if (!matte.origin || !(adjust != 0) || std::isnan(adjust))
        return;
    const Rect r = clipTo(rect, matte);
    if (r.empty())
        return;
    const float x = passRadius(scaleX * adjust);
    const float y = passRadius(adjust * scaleY);
    if (matte.sixteenBit())
        shrinkGrow<uint16_t>(matte, r, adjust > 0, x, y);
    else
        shrinkGrow<uint8_t>(matte, r, adjust > 0, x, y);
}

int32_t shrinkGrowReach(float radius)
{
    const float x = passRadius(radius);
    return x > 0 ? static_cast<int32_t>(std::ceil(x)) : 0;
}

// ---- Selection ------------------------------------------------------------------------------

Selection::Selection()
{
    rebuildCurve();
}

void Selection::setPosition(float p)
{
    if (p != position_)
        discardKept();
    position_ = p;
    rebuildCurve();
}

void Selection::setRange(float r)
{
    if (r != range_)
        discardKept();
    range_ = r;
    rebuildCurve();
}

void Selection::setBlur(double b)
{
    if (b != blurX_ || b != blurY_)
        discardKept();
    blurX_ = blurY_ = b;
    rebuildCurve();
}

void Selection::setExtractOn(int32_t index)
{
    if (index != extractOn_)
        discardKept();
    extractOn_ = index;
}

void Selection::setAdjust(double pixels)
{
    adjust_ = pixels;
}

void Selection::setInvert(bool on)
{
    invert_ = on;
}

void Selection::setReuse(bool reuse, bool fresh)
{
    reuse_ = reuse;
    fresh_ = fresh;
    if (fresh_ || !reuse_)
        discardKept();
}

void Selection::defineSelectionParameters(fx::Parameter* params, int count, const char* prefix) const
{
    if (!params || count < ParameterCount)
        throw std::invalid_argument("the selection group needs twelve parameter slots");
    fx::Parameter* p = params;
    p[ExtractOnParam].initList("extractOn", "Extract On", kExtractOnLabels, kExtractOnCount, extractOn_);
    p[ExtractOnParam].orFlags(kExtractOnFlag);
    // Defaults in single precision: a range of 1.6 shows as 80 exactly.
    p[PositionParam].initRange("position", "Position", 0, 100, position_ * 100.0f, 0);
    p[RangeParam].initRange("range", "Range", 0, 100, range_ * 50.0f, 0);
    p[ClipGroup].initGroupBegin("clip", "Clip", false);
    p[ClipBlackParam].initRange("clipBlack", "Clip Black", 0, 100, 0, 0);
    p[ClipWhiteParam].initRange("clipWhite", "Clip White", 0, 100, 0, 0);
    p[ClipGroupEnd].initGroupEnd();
    p[AdjustParam].initRange("matteAdjust", "Shrink/Grow", -50, 50, 0, 0);
    p[BlurXParam].initRange("matteBlurX", "Horizontal Blur", 0, 500, blurX_, 0);
    p[BlurYParam].initRange("matteBlurY", "Vertical Blur", 0, 500, blurY_, 0);
    p[BlurYParam].setEnabled(!gang_);
    p[GangParam].initBoolean("matteBlurGang", "Gang Blur", gang_);
    p[GangParam].orFlags(fx::ParamFlag::NotifyOnChange);
    p[InvertParam].initBoolean("invert", "Invert", false);
    if (prefix)
        for (int i = 0; i < ParameterCount; ++i)
            if (p[i].key)
                p[i].prefixKey(prefix);
}

bool Selection::updateFromParameters(const fx::Parameter* params, const fx::RenderInfo& info)
{
    const int32_t on = params[ExtractOnParam].list.current;
    const auto p = static_cast<float>(params[PositionParam].range.current * 0.01);
    const auto r = static_cast<float>(params[RangeParam].range.current * 0.02);
    const auto black = clampUnit(static_cast<float>(params[ClipBlackParam].range.current * 0.01));
    const auto white = clampUnit(static_cast<float>(params[ClipWhiteParam].range.current * 0.01));
    const double adjust = params[AdjustParam].range.current;
    const double bx = params[BlurXParam].range.current;
    const double by = params[BlurYParam].range.current;
    const bool gang = params[GangParam].boolean.current != 0;
    const bool invert = params[InvertParam].boolean.current != 0;

    const bool curveChanged = p != position_ || r != range_;
    const bool clipChanged = black != key.clipBlack() || white != key.clipWhite();
    const bool otherChanged = on != extractOn_ || adjust != adjust_ || bx != blurX_ || by != blurY_ ||
                              gang != gang_ || invert != invert_;
    extractOn_ = on;
    position_ = p;
    range_ = r;
    adjust_ = adjust;
    blurX_ = bx;
    blurY_ = by;
    gang_ = gang;
    invert_ = invert;
    // The key's tables follow the render's channel width on their own (see ChannelKey::table).
    (void)info;
    if (curveChanged)
        rebuildCurve();
    if (clipChanged)
        key.setClip(black, white);
    const bool changed = curveChanged || clipChanged || otherChanged;
    if (changed) {
        key.markDirty();
        discardKept();
    }
    return changed;
}

void Selection::parameterChanged(fx::Effect& effect, int first, int index)
{
    if (index == first + GangParam)
        effect.parameterAt(first + BlurYParam)->setEnabled(!effect.valueAsBool(first + GangParam));
}

fx::ImageRef Selection::buildMatte(const Image& source, const Rect& rect, const fx::RenderInfo& info)
{
    if (source.channels != 4)
        throw std::invalid_argument("buildMatte needs a four-channel source");
    fx::ImageRef matte = fx::makeImage(source.width, source.height, 1, source.bytesPerChannel);
    if (!matte->origin || !source.origin)
        return matte;
    const Rect r = clipTo(rect, source);

    // 1. Extraction, or the kept copy while frames follow each other.
    const bool keep = !fresh_ && reuse_;
    if (keep && info.frame != 0 && kept_ && kept_->width == source.width && kept_->height == source.height &&
        kept_->bytesPerChannel == source.bytesPerChannel) {
        matte->copyPixels(*kept_);
    } else {
        extractMatte(source, *matte, r, extractOn_, key);
        if (keep) {
            fx::ImageRef copy = fx::makeImage(source.width, source.height, 1, source.bytesPerChannel);
            copy->copyPixels(*matte);
            kept_ = std::move(copy);
        }
    }
    // 2. Shrink / grow.
    if (adjust_ != 0)
        shrinkGrowMatte(*matte, r, adjust_, info.scaleX, info.scaleY);
    // 3. Blur.
    if (blurX_ > 0 || blurY_ > 0) {
        SeparableBlur blur;
        blur.setAmounts(info.unitsToPixelsX(static_cast<float>(blurX_)),
                        info.unitsToPixelsY(static_cast<float>(gang_ ? blurX_ : blurY_)));
        blur.setPasses(info.passes);
        blur.blurRect(*matte, r);
    }
    // 4. Invert.
    if (invert_)
        invertMatte(*matte, r);
    return matte;
}

Selection::Reach Selection::reach(const fx::RenderInfo& info) const
{
    Reach reach;
    if (adjust_ != 0) {
        reach.x = shrinkGrowReach(static_cast<float>(info.scaleX * adjust_));
        reach.y = shrinkGrowReach(static_cast<float>(adjust_ * info.scaleY));
    }
    const int32_t bx = blurBorder(info.unitsToPixelsX(static_cast<float>(blurX_)), info.passes);
    const int32_t by = blurBorder(info.unitsToPixelsY(static_cast<float>(gang_ ? blurX_ : blurY_)), info.passes);
    // Both terms are at most 2^28, so the sums stay in range.
    reach.x += bx;
    reach.y += by;
    return reach;
}

} // namespace imaging
