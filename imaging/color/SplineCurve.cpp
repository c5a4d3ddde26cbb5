#include "imaging/color/SplineCurve.h"

namespace imaging {

void SplineCurve::setPoints(const CurvePoint* points, int count)
{
    nodes_.clear();
    for (int i = 0; i < count; ++i)
        nodes_.push_back({points[i].x, points[i].y, 0.0});
    spline_ = count > 2;
    clamp_ = true;
    needsSolve_ = spline_;
}

// Natural cubic spline: the tridiagonal system for the second derivatives, both ends 0.
void SplineCurve::solve() const
{
    needsSolve_ = false;
    const std::size_t n = nodes_.size();
    for (Node& node : nodes_)
        node.d2 = 0;
    // Coinciding or descending nodes have no spline through them: those curves stay piecewise linear.
    for (std::size_t i = 0; i + 1 < n; ++i)
        if (!(nodes_[i + 1].x > nodes_[i].x))
            return;
    std::vector<double> u(n, 0.0);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const Node& a = nodes_[i - 1];
        const Node& b = nodes_[i];
        const Node& c = nodes_[i + 1];
        const double sig = (b.x - a.x) / (c.x - a.x);
        const double p = sig * a.d2 + 2;
        nodes_[i].d2 = (sig - 1) / p;
        const double slopes = (c.y - b.y) / (c.x - b.x) - (b.y - a.y) / (b.x - a.x);
        u[i] = (6 * slopes / (c.x - a.x) - sig * u[i - 1]) / p;
    }
    nodes_[n - 1].d2 = 0;
    for (std::size_t k = n - 1; k-- > 0;)
        nodes_[k].d2 = nodes_[k].d2 * nodes_[k + 1].d2 + u[k];
}

double SplineCurve::value(double x) const
{
    double y;
    if (nodes_.empty()) {
        y = x;
    } else if (x <= nodes_.front().x) {
        y = nodes_.front().y;
    } else if (x >= nodes_.back().x) {
        y = nodes_.back().y;
    } else {
        // The interval [x_i, x_i+1) holding x. Nodes out of order or coinciding never divide by a
        // zero width: such intervals are skipped, and no bracket at all yields the last value.
        std::size_t i = 0;
        const std::size_t n = nodes_.size();
        while (i + 1 < n && !(x >= nodes_[i].x && x < nodes_[i + 1].x))
            ++i;
        if (i + 1 >= n) {
            y = nodes_.back().y;
        } else {
            const Node& a = nodes_[i];
            const Node& b = nodes_[i + 1];
            const double h = b.x - a.x;
            const double t = x - a.x;
            if (!spline_) {
                y = a.y + t * (b.y - a.y) / h;
            } else {
                if (needsSolve_)
                    solve();
                y = a.y + t * ((b.y - a.y) / h - h * (2 * a.d2 + b.d2) / 6
                               + t * (a.d2 / 2 + t * (b.d2 - a.d2) / (6 * h)));
            }
        }
    }
    if (clamp_) {
        if (!(y >= 0))  // also NaN
            y = 0;
        else if (y > 1)
            y = 1;
    }
    return y;
}

bool SplineCurve::isIdentity() const
{
    return nodes_.size() == 2 && nodes_[0].x == 0 && nodes_[0].y == 0 && nodes_[1].x == 1 && nodes_[1].y == 1;
}

namespace {

template <class Traits>
void buildCurveTableImpl(typename Traits::value_type* table, const SplineCurve& curve)
{
    using T = typename Traits::value_type;
    constexpr int32_t full = Traits::fullScale;
    if (curve.isIdentity()) {
        for (int32_t i = 0; i <= full; ++i)
            table[i] = static_cast<T>(i);
        return;
    }
    for (int32_t i = 0; i <= full; ++i) {
        const double v = curve.value(static_cast<double>(i) / full) * full;
        table[i] = static_cast<T>(v >= full ? full : (v > 0 ? static_cast<int32_t>(v) : 0));  // NaN -> 0
    }
}

} // namespace

void buildCurveTable8(uint8_t* table, const SplineCurve& curve)
{
    buildCurveTableImpl<fx::Channel8>(table, curve);
}

void buildCurveTable16(uint16_t* table, const SplineCurve& curve)
{
    buildCurveTableImpl<fx::Channel16>(table, curve);
}

void setRangeCurve(SplineCurve& curve, double p, double r)
{
    const CurvePoint points[5] = {{p - r, 0.0}, {p - r / 2, 0.2}, {p, 1.0}, {p + r / 2, 0.2}, {p + r, 0.0}};
    curve.setPoints(points, 5);
}

} // namespace imaging
