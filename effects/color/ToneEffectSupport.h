#pragma once

// Helpers shared by the colour and tone effects: the clipped row walk over an input and an output
// image, the grey "mask view" of a per-level weight, and a range weight table cached per channel
// width.

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/Rect.h"
#include "imaging/color/SplineCurve.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvo::tone {

// Calls f(src, dst, count) for each row of rect clipped to both 4-channel images (same channel
// width); src and dst point at the rect's first pixel. Nothing happens for other layouts.
template <class Traits, class F>
void forEachRow(const fx::Image& in, fx::Image& out, const fx::Rect& rect, F&& f)
{
    using V = typename Traits::value_type;
    if (in.channels != 4 || out.channels != 4 || in.bytesPerChannel != Traits::bytes
        || out.bytesPerChannel != Traits::bytes || !in.origin || !out.origin)
        return;
    const int32_t top = std::max(rect.top, 0), left = std::max(rect.left, 0);
    const int32_t bottom = std::min({rect.bottom, in.height, out.height});
    const int32_t right = std::min({rect.right, in.width, out.width});
    if (top >= bottom || left >= right)
        return;
    for (int32_t y = top; y < bottom; ++y)
        f(in.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(left), out.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(left),
          right - left);
}

// A stored level read for table look-ups: 16-bit levels above full scale count as full scale.
template <class Traits>
inline int32_t level(typename Traits::value_type v)
{
    return fx::clampChannel<Traits>(v);
}

// The mask view of a per-level weight: R = G = B = weights[key(r, g, b)], A = max. key returns a
// level 0..max of the pixel's (clamped) levels.
template <class Traits, class Key>
void showWeights(const fx::Image& in, fx::Image& out, const fx::Rect& rect,
                 const typename Traits::value_type* weights, Key&& key)
{
    using V = typename Traits::value_type;
    forEachRow<Traits>(in, out, rect, [&](const V* s, V* d, int32_t n) {
        for (int32_t i = 0; i < n; ++i, s += 4, d += 4) {
            const V w = weights[key(level<Traits>(s[0]), level<Traits>(s[1]), level<Traits>(s[2]))];
            d[0] = d[1] = d[2] = w;
            d[3] = static_cast<V>(Traits::fullScale);
        }
    });
}

// The range weight table of (position, range), kept per channel width and rebuilt only when the
// position or range it was built for changes.
class RangeWeights {
public:
    template <class Traits>
    const typename Traits::value_type* get(double position, double range)
    {
        auto& s = slot<Traits>();
        if (!s.valid || s.position != position || s.range != range) {
            s.table.resize(Traits::tableSize);
            imaging::buildRangeWeightTable<Traits>(s.table.data(), position, range);
            s.position = position;
            s.range = range;
            s.valid = true;
        }
        return s.table.data();
    }

private:
    template <class V>
    struct Slot {
        std::vector<V> table;
        double position = 0, range = 0;
        bool valid = false;
    };
    template <class Traits>
    auto& slot()
    {
        if constexpr (Traits::sixteenBit)
            return s16_;
        else
            return s8_;
    }
    Slot<uint8_t> s8_;
    Slot<uint16_t> s16_;
};

// The view list's index; a stored index outside the list counts as `original`.
inline int32_t viewIndex(const fx::Effect& e, int param, int32_t count, int32_t original)
{
    const int32_t v = e.valueAsInt(param);
    return v >= 0 && v < count ? v : original;
}

// A percent parameter as a fraction, in single precision.
inline float percent(const fx::Effect& e, int param)
{
    return static_cast<float>(e.valueAsDouble(param)) / 100.0f;
}

} // namespace orvo::tone
