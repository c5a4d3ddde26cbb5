#pragma once

#include "framework/ChannelTraits.h"

#include <cstdint>
#include <vector>

namespace imaging {

struct CurvePoint {
    double x = 0, y = 0;
};

// A curve through control points given in ascending x: linear between two nodes, a natural cubic
// spline (second derivative 0 at both ends) through more. Outside the nodes the end values hold.
// setPoints turns on clamping of the result to 0..1.
class SplineCurve {
public:
    void setPoints(const CurvePoint* points, int count);
    double value(double x) const;
    // Exactly the two nodes (0,0) and (1,1).
    bool isIdentity() const;
    int nodeCount() const { return static_cast<int>(nodes_.size()); }

private:
    struct Node {
        double x, y, d2;  // d2: second derivative at the node
    };
    void solve() const;

    mutable std::vector<Node> nodes_;
    bool spline_ = false;
    bool clamp_ = false;
    mutable bool needsSolve_ = false;
};

// 256 entries trunc(value(i / 255) * 255) and 32769 entries trunc(value(i / 32768) * 32768),
// clamped to the channel range; an identity curve gives the identity table.
void buildCurveTable8(uint8_t* table, const SplineCurve& curve);
void buildCurveTable16(uint16_t* table, const SplineCurve& curve);

template <class Traits>
void buildCurveTable(typename Traits::value_type* table, const SplineCurve& curve)
{
    if constexpr (Traits::sixteenBit)
        buildCurveTable16(table, curve);
    else
        buildCurveTable8(table, curve);
}

// The weight of a tonal range centred on `position` reaching `range` either side: the curve through
// (p - r, 0), (p - r/2, 0.2), (p, 1), (p + r/2, 0.2), (p + r, 0), tabulated as above (0..255 or
// 0..32768, and 0 outside [p - r, p + r]).
void setRangeCurve(SplineCurve& curve, double position, double range);

template <class Traits>
void buildRangeWeightTable(typename Traits::value_type* table, double position, double range)
{
    SplineCurve curve;
    setRangeCurve(curve, position, range);
    buildCurveTable<Traits>(table, curve);
}

} // namespace imaging
