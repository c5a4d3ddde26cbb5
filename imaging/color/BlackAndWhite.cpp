#include "imaging/color/BlackAndWhite.h"

#include "framework/ChannelTraits.h"
#include "framework/Image.h"

#include <algorithm>

namespace imaging {

namespace {

template <class Traits>
int32_t weighted(int32_t r, int32_t g)
{
    if constexpr (Traits::sixteenBit)
        return (9798 * r + 19235 * g) >> 15;
    else
        return (76 * r + 150 * g) / 255;
}

template <class Traits>
int32_t limited(double y)
{
    // Every operand is a level 0..max, so y is never negative.
    return y >= Traits::fullScale ? Traits::fullScale : static_cast<int32_t>(y);
}

template <class Traits>
int32_t grey(BlackAndWhiteFilter filter, int32_t r, int32_t g, int32_t b)
{
    constexpr double offset = Traits::sixteenBit ? 0.000068359375 : 0.008784313725490198;
    switch (filter) {
    case BlackAndWhiteFilter::Red: return r;
    case BlackAndWhiteFilter::Green: return g;
    case BlackAndWhiteFilter::Blue: return b;
    case BlackAndWhiteFilter::Yellow: return limited<Traits>(weighted<Traits>(r, g) * 1.06);
    case BlackAndWhiteFilter::Orange: return limited<Traits>(weighted<Traits>(r, g / 2) * 1.6);
    case BlackAndWhiteFilter::Normal:
    default: return limited<Traits>(0.30 * r + 0.59 * g + 0.11 * b + offset);
    }
}

template <class Traits>
void convert(fx::Image& image, const fx::Rect& rect, BlackAndWhiteFilter filter)
{
    using V = typename Traits::value_type;
    const int32_t top = std::max(rect.top, 0), bottom = std::min(rect.bottom, image.height);
    const int32_t left = std::max(rect.left, 0), right = std::min(rect.right, image.width);
    for (int32_t y = top; y < bottom; ++y) {
        V* p = image.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(left);
        for (int32_t x = left; x < right; ++x, p += 4) {
            const V v = static_cast<V>(grey<Traits>(filter, fx::clampChannel<Traits>(p[0]),
                                                    fx::clampChannel<Traits>(p[1]), fx::clampChannel<Traits>(p[2])));
            p[0] = p[1] = p[2] = v;
        }
    }
}

} // namespace

void convertToBlackAndWhite(fx::Image& image, const fx::Rect& rect, int32_t filter)
{
    if (image.channels != 4 || !image.origin)
        return;
    const auto f = filter >= 0 && filter < kBlackAndWhiteFilterCount ? static_cast<BlackAndWhiteFilter>(filter)
                                                                      : BlackAndWhiteFilter::Normal;
    fx::withChannelTraits(image.sixteenBit(), [&](auto traits) { convert<decltype(traits)>(image, rect, f); });
}

} // namespace imaging
