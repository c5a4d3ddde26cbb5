#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace fx {

// double -> int32 truncation toward zero that stays defined for NaN (0) and for values beyond the
// int32 range (clamped). Values read from stored parameter sets are not validated, so conversions of
// user values go through here.
inline int32_t truncToInt32(double v)
{
    if (std::isnan(v))
        return 0;
    if (v <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    if (v >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

// A colour component 0..1 scaled to a channel of full scale `full` (255 or 32768), truncated and
// clamped to 0..full.
inline int32_t scaleToChannel(double component, int32_t full)
{
    const double v = component * full;
    if (!(v > 0))  // also NaN
        return 0;
    if (v >= full)
        return full;
    return static_cast<int32_t>(v);
}

} // namespace fx
