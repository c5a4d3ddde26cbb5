#include "imaging/resample/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace imaging {

using fx::ImageBuffer;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kOne = 16384;  // weight 1.0 in 14-bit fixed point

// ---- kernels (every comparison strict "<" as written) ----

double boxKernel(double x, const void*) { return (x >= -0.5 && x < 0.5) ? 1.0 : 0.0; }

double triangleKernel(double x, const void*)
{
    if (x < -1.0) return 0.0;
    if (x < 0.0) return x + 1.0;
    if (x < 1.0) return 1.0 - x;
    return 0.0;
}

double quadraticKernel(double x, const void*)
{
    if (x < -1.5) return 0.0;
    if (x < -0.5) return (x + 1.5) * (x + 1.5) * 0.5;
    if (x < 0.5) return 0.75 - x * x;
    if (x < 1.5) return (x - 1.5) * (x - 1.5) * 0.5;
    return 0.0;
}

double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

double cubicKernel(double x, const void*)
{
    constexpr double sixth = 0.16666666666666666;
    double v;
    if (x < -2.0) v = 0.0;
    else if (x < -1.0) v = (x + 2.0) * (x + 2.0) * (x + 2.0) * sixth;
    else if (x < 0.0) v = (4.0 + x * x * (-6.0 - 3.0 * x)) * sixth;
    else if (x < 1.0) v = (4.0 + x * x * (-6.0 + 3.0 * x)) * sixth;
    else if (x < 2.0) v = (2.0 - x) * (2.0 - x) * (2.0 - x) * sixth;
    else v = 0.0;
    return clamp01(v);
}

double catromKernel(double x, const void*)
{
    double v;
    if (x < -2.0) v = 0.0;
    else if (x < -1.0) v = 0.5 * (4.0 + x * (8.0 + x * (5.0 + x)));
    else if (x < 0.0) v = 0.5 * (2.0 + x * x * (-5.0 - 3.0 * x));
    else if (x < 1.0) v = 0.5 * (2.0 + x * x * (-5.0 + 3.0 * x));
    else if (x < 2.0) v = 0.5 * (4.0 + x * (-8.0 + x * (5.0 - x)));
    else v = 0.0;
    return clamp01(v);
}

struct MitchellCoefficients {
    double p0, p2, p3, q0, q1, q2, q3;
};

MitchellCoefficients makeMitchell(double B, double C)
{
    return {(6.0 - 2.0 * B) / 6.0,          (-18.0 + 12.0 * B + 6.0 * C) / 6.0,
            (12.0 - 9.0 * B - 6.0 * C) / 6.0, (8.0 * B + 24.0 * C) / 6.0,
            (-12.0 * B - 48.0 * C) / 6.0,   (6.0 * B + 30.0 * C) / 6.0,
            (-B - 6.0 * C) / 6.0};
}

double mitchellKernel(double x, const void* data)
{
    const auto& m = *static_cast<const MitchellCoefficients*>(data);
    if (x < -2.0) return 0.0;
    if (x < -1.0) return m.q0 - x * (m.q1 - x * (m.q2 - x * m.q3));
    if (x < 0.0) return m.p0 + x * x * (m.p2 - x * m.p3);
    if (x < 1.0) return m.p0 + x * x * (m.p2 + x * m.p3);
    if (x < 2.0) return m.q0 + x * (m.q1 + x * (m.q2 + x * m.q3));
    return 0.0;
}

double gaussianKernel(double x, const void*)
{
    return std::exp(-2.0 * x * x) * std::sqrt(0.6366197723675814);
}

double sincKernel(double x, const void*)
{
    if (x == 0.0)
        return 1.0;
    const double px = kPi * x;
    return clamp01(std::sin(px) / px);
}

double besselKernel(double, const void*) { return 0.0; }
double hanningKernel(double x, const void*) { return 0.5 + 0.5 * std::cos(kPi * x); }
double hammingKernel(double x, const void*) { return 0.54 + 0.46 * std::cos(kPi * x); }
double blackmanKernel(double x, const void*)
{
    return 0.42 + 0.5 * std::cos(kPi * x) + 0.08 * std::cos(2.0 * kPi * x);
}

// Modified Bessel function of the first kind, order 0, summed while the term exceeds 1e-7.
double besselI0(double x)
{
    const double y = x * x / 4.0;
    double sum = 0.0;
    double term = 1.0;
    for (int k = 1; term > 1e-7; ++k) {
        sum += term;
        term *= y / (static_cast<double>(k) * k);
    }
    return sum;
}

struct KaiserData {
    double a;
    double inverseI0a;
};

double kaiserKernel(double x, const void* data)
{
    const auto& k = *static_cast<const KaiserData*>(data);
    const double r = 1.0 - x * x;
    if (r < 0.0)
        return 0.0;
    return besselI0(k.a * std::sqrt(r)) * k.inverseI0a;
}

const MitchellCoefficients kMitchell = makeMitchell(1.0 / 3.0, 1.0 / 3.0);
const KaiserData kKaiser = {6.5, 1.0 / besselI0(6.5)};

const ResampleFilter kFilters[] = {
    {"point", boxKernel, 0.0, 1.0, false, true, true, nullptr},
    {"box", boxKernel, 0.5, 1.0, false, true, true, nullptr},
    {"triangle", triangleKernel, 1.0, 1.0, false, true, true, nullptr},
    {"quadratic", quadraticKernel, 1.5, 1.0, false, false, true, nullptr},
    {"cubic", cubicKernel, 2.0, 1.0, false, false, true, nullptr},
    {"catrom", catromKernel, 2.0, 1.0, false, true, false, nullptr},
    {"mitchell", mitchellKernel, 2.0, 1.0, false, false, false, &kMitchell},
    {"gaussian", gaussianKernel, 1.25, 1.0, false, false, true, nullptr},
    {"sinc", sincKernel, 4.0, 1.0, true, true, false, nullptr},
    {"bessel", besselKernel, 3.2383, 1.0, true, false, false, nullptr},
    {"hanning", hanningKernel, 1.0, 1.0, false, true, true, nullptr},
    {"hamming", hammingKernel, 1.0, 1.0, false, true, true, nullptr},
    {"blackman", blackmanKernel, 1.0, 1.0, false, true, true, nullptr},
    {"kaiser", kaiserKernel, 1.0, 1.0, false, true, true, &kKaiser},
};
constexpr int kFilterCount = static_cast<int>(sizeof kFilters / sizeof kFilters[0]);

bool nearInteger(double v)
{
    return std::fabs(v - std::nearbyint(v)) <= 1e-7;
}

// The geometry of one axis: scale, offset and the (possibly substituted) filter.
struct Axis {
    double s = 1, t = 0, o = 0.5, fs = 1, S = 0.5;
    const ResampleFilter* filter = nullptr;
    bool point = false;
    int32_t src0 = 0, src1 = -1, dst0 = 0, dst1 = -1;

    int32_t srcN() const { return src1 - src0 + 1; }
    int32_t dstN() const { return dst1 - dst0 + 1; }
    int32_t width() const { return static_cast<int32_t>(std::ceil(2.0 * S)); }
    void updateOffset() { o = dst0 - (src0 - 0.5) * s - t; }
};

// Plans one axis; false when nothing remains to be drawn.
bool planAxis(Axis& a, const ResampleFilter& filter, int32_t src0, int32_t src1, int32_t srcSize,
              int32_t dst0, int32_t dst1, int32_t dstSize)
{
    a.s = static_cast<double>(dst1 - dst0 + 1) / static_cast<double>(src1 - src0 + 1);
    a.t = (dst0 - 0.5) - (src0 - 0.5) * a.s;
    a.src0 = std::max(src0, 0);
    a.src1 = std::min(src1, srcSize - 1);
    a.dst0 = std::max(dst0, 0);
    a.dst1 = std::min(dst1, dstSize - 1);
    if (a.src1 < a.src0 || a.dst1 < a.dst0)
        return false;
    a.updateOffset();

    a.filter = &filter;
    a.fs = std::max(1.0, 1.0 / a.s) * filter.blur;
    a.S = filter.support * a.fs;
    if (a.S <= 0.5 || (filter.cardinal && nearInteger(1.0 / a.fs) && nearInteger(1.0 / (a.s * a.fs)) &&
                       nearInteger((a.o / a.s - 0.5) / a.fs))) {
        a.point = true;
        a.filter = &kFilters[0];
        a.fs = 1.0;
        a.S = 0.5;
    }

    // Only the destination pixels the source window can reach.
    const double lo = std::ceil((a.src0 - a.S) * a.s + a.t + 1e-7);
    const double hi = std::floor((a.src1 + a.S) * a.s + a.t - 1e-7);
    if (lo > a.dst0)
        a.dst0 = static_cast<int32_t>(std::min(lo, static_cast<double>(a.dst1) + 1));
    if (hi < a.dst1)
        a.dst1 = static_cast<int32_t>(std::max(hi, static_cast<double>(a.dst0) - 1));
    if (a.dst1 < a.dst0)
        return false;
    a.updateOffset();
    return true;
}

WeightTable buildTable(const Axis& a, bool trimZeros)
{
    WeightTable table;
    const int32_t n = a.dstN();
    table.first.reserve(n);
    table.end.reserve(n);
    table.offset.reserve(n);
    for (int32_t j = 0; j < n; ++j)
        table.add(*a.filter, (j + a.o) / a.s, a.fs, a.S, a.srcN(), trimZeros);
    return table;
}

// Fixed-point constants of the two pass orders per channel width.
template <class V> struct Fixed;
template <> struct Fixed<uint8_t> {
    static constexpr int xFirstShift = 8;    // horizontal result is value * 64
    static constexpr int xFirstFinal = 20;
    static constexpr int yFirstShift = 8;    // truncating shift of the vertical sums
    static constexpr int yFirstFinal = 20;
    static constexpr int64_t maxValue = 255;
};
template <> struct Fixed<uint16_t> {
    static constexpr int xFirstShift = 16;   // horizontal result is value / 4
    static constexpr int xFirstFinal = 12;
    static constexpr int yFirstShift = 16;
    static constexpr int yFirstFinal = 12;
    static constexpr int64_t maxValue = 32768;
};

template <int Shift> inline int64_t roundShift(int64_t v) { return (v + (int64_t{1} << (Shift - 1))) >> Shift; }

// Negative sums (only filters with negative lobes produce them) become 0; results are capped.
template <class V> inline V finalValue(int64_t v)
{
    return static_cast<V>(v < 0 ? 0 : (v > Fixed<V>::maxValue ? Fixed<V>::maxValue : v));
}

template <class V>
class Zoomer {
public:
    Zoomer(ImageBuffer& src, ImageBuffer& dst, const Axis& x, const Axis& y, int channels)
        : src_(src), dst_(dst), x_(x), y_(y), ch_(channels),
          srcRow_(static_cast<std::size_t>(x.srcN()) * channels),
          dstRow_(static_cast<std::size_t>(x.dstN()) * channels)
    {
    }

    void nearest()
    {
        std::vector<int32_t> column(static_cast<std::size_t>(x_.dstN()));
        for (int32_t j = 0; j < x_.dstN(); ++j)
            column[j] = std::clamp(static_cast<int32_t>((j + x_.o) / x_.s), 0, x_.srcN() - 1);
        int32_t loaded = -1;
        for (int32_t k = 0; k < y_.dstN(); ++k) {
            const int32_t row = std::clamp(static_cast<int32_t>((k + y_.o) / y_.s), 0, y_.srcN() - 1);
            if (row != loaded) {
                readSource(row);
                loaded = row;
            }
            for (int32_t j = 0; j < x_.dstN(); ++j)
                std::memcpy(&dstRow_[static_cast<std::size_t>(j) * ch_],
                            &srcRow_[static_cast<std::size_t>(column[j]) * ch_], sizeof(V) * ch_);
            writeDestination(k);
        }
    }

    void xFirst()
    {
        const WeightTable h = buildTable(x_, true);
        const WeightTable v = buildTable(y_, false);
        const int32_t ringRows = std::max(1, v.maxSpan);
        const std::size_t rowValues = static_cast<std::size_t>(x_.dstN()) * ch_;
        std::vector<int64_t> ring(rowValues * ringRows);
        std::vector<int32_t> ringSource(static_cast<std::size_t>(ringRows), -1);
        std::vector<int64_t> acc(rowValues);

        for (int32_t k = 0; k < y_.dstN(); ++k) {
            std::fill(acc.begin(), acc.end(), 0);
            const int32_t* w = &v.weights[v.offset[k]];
            for (int32_t i = v.first[k]; i < v.end[k]; ++i, ++w) {
                const int32_t slot = i % ringRows;
                int64_t* filtered = &ring[rowValues * slot];
                if (ringSource[slot] != i) {
                    readSource(i);
                    filterRow(h, filtered);
                    ringSource[slot] = i;
                }
                for (std::size_t q = 0; q < rowValues; ++q)
                    acc[q] += *w * filtered[q];
            }
            for (std::size_t q = 0; q < rowValues; ++q)
                dstRow_[q] = finalValue<V>(roundShift<Fixed<V>::xFirstFinal>(acc[q]));
            writeDestination(k);
        }
    }

    void yFirst()
    {
        const WeightTable h = buildTable(x_, true);
        const WeightTable v = buildTable(y_, false);
        const std::size_t accValues = static_cast<std::size_t>(x_.srcN()) * ch_;
        std::vector<int64_t> acc(accValues);
        for (int32_t k = 0; k < y_.dstN(); ++k) {
            std::fill(acc.begin(), acc.end(), 0);
            const int32_t* w = &v.weights[v.offset[k]];
            for (int32_t i = v.first[k]; i < v.end[k]; ++i, ++w) {
                readSource(i);
                for (std::size_t q = 0; q < accValues; ++q)
                    acc[q] += *w * static_cast<int64_t>(srcRow_[q]);
            }
            for (int32_t j = 0; j < x_.dstN(); ++j) {
                const int32_t* hw = &h.weights[h.offset[j]];
                for (int c = 0; c < ch_; ++c) {
                    int64_t sum = 0;
                    for (int32_t i = h.first[j], m = 0; i < h.end[j]; ++i, ++m)
                        sum += hw[m] * (acc[static_cast<std::size_t>(i) * ch_ + c] >> Fixed<V>::yFirstShift);
                    dstRow_[static_cast<std::size_t>(j) * ch_ + c] = finalValue<V>(roundShift<Fixed<V>::yFirstFinal>(sum));
                }
            }
            writeDestination(k);
        }
    }

private:
    void readSource(int32_t row)
    {
        src_.readRow(y_.src0 + row, x_.src0, x_.srcN(), reinterpret_cast<uint8_t*>(srcRow_.data()));
    }
    void writeDestination(int32_t row)
    {
        dst_.writeRow(y_.dst0 + row, x_.dst0, x_.dstN(), reinterpret_cast<const uint8_t*>(dstRow_.data()));
    }
    // Horizontal pass of the source row into out (x-first order); negative sums become 0.
    void filterRow(const WeightTable& h, int64_t* out) const
    {
        for (int32_t j = 0; j < x_.dstN(); ++j) {
            const int32_t* w = &h.weights[h.offset[j]];
            for (int c = 0; c < ch_; ++c) {
                int64_t sum = 0;
                for (int32_t i = h.first[j], m = 0; i < h.end[j]; ++i, ++m)
                    sum += w[m] * static_cast<int64_t>(srcRow_[static_cast<std::size_t>(i) * ch_ + c]);
                const int64_t value = roundShift<Fixed<V>::xFirstShift>(sum);
                out[static_cast<std::size_t>(j) * ch_ + c] = value < 0 ? 0 : value;
            }
        }
    }

    ImageBuffer& src_;
    ImageBuffer& dst_;
    const Axis& x_;
    const Axis& y_;
    const int ch_;
    std::vector<V> srcRow_;
    std::vector<V> dstRow_;
};

// A copy of a window of a buffer, read before the same buffer is overwritten.
class WindowSnapshot final : public ImageBuffer {
public:
    WindowSnapshot(ImageBuffer& from, const ZoomWindow& w)
        : channels_(from.channels()), bpc_(from.bytesPerChannel()), window_(w),
          rowBytes_(static_cast<std::size_t>(w.width()) * channels_ * bpc_),
          bytes_(rowBytes_ * static_cast<std::size_t>(w.height()))
    {
        from.size(&width_, &height_);
        for (int32_t y = w.y0; y <= w.y1; ++y)
            from.readRow(y, w.x0, w.width(), &bytes_[rowBytes_ * static_cast<std::size_t>(y - w.y0)]);
    }
    int channels() const override { return channels_; }
    int bytesPerChannel() const override { return bpc_; }
    void size(int* width, int* height) const override { *width = width_; *height = height_; }
    void readRow(int y, int x, int count, uint8_t* out) override
    {
        const std::size_t pixel = static_cast<std::size_t>(channels_) * bpc_;
        std::memcpy(out, &bytes_[rowBytes_ * static_cast<std::size_t>(y - window_.y0) + pixel * (x - window_.x0)],
                    pixel * count);
    }
    void writeRow(int, int, int, const uint8_t*) override {}

private:
    int channels_, bpc_;
    ZoomWindow window_;
    std::size_t rowBytes_;
    std::vector<uint8_t> bytes_;
    int width_ = 0, height_ = 0;
};

} // namespace

const ResampleFilter* resampleFilters(int* count)
{
    if (count)
        *count = kFilterCount;
    return kFilters;
}

const ResampleFilter* findFilter(const char* name)
{
    if (!name)
        return nullptr;
    for (const ResampleFilter& f : kFilters)
        if (std::strcmp(f.name, name) == 0)
            return &f;
    return nullptr;
}

void WeightTable::add(const ResampleFilter& filter, double c, double fs, double S, int32_t n, bool trimZeros)
{
    int32_t i0 = std::max(0, static_cast<int32_t>(c - S + 0.5));
    int32_t i1 = std::min(n, static_cast<int32_t>(c + S + 0.5));
    if (i1 <= i0)
        throw std::logic_error("resampler: empty source range for a destination pixel");

    double total = 0.0;
    for (int32_t i = i0; i < i1; ++i)
        total += filter.kernel((i + 0.5 - c) / fs, filter.clientData);
    const double factor = total == 0.0 ? kOne : kOne / total;

    const std::size_t start = weights.size();
    for (int32_t i = i0; i < i1; ++i)
        weights.push_back(static_cast<int32_t>(std::floor(filter.kernel((i + 0.5 - c) / fs, filter.clientData) * factor + 0.5)));

    if (trimZeros) {
        std::size_t lead = start;
        while (lead < weights.size() && weights[lead] == 0)
            ++lead;
        std::size_t last = weights.size();
        while (last > lead && weights[last - 1] == 0)
            --last;
        if (lead < last) {
            weights.erase(weights.begin() + static_cast<std::ptrdiff_t>(last), weights.end());
            weights.erase(weights.begin() + static_cast<std::ptrdiff_t>(start),
                          weights.begin() + static_cast<std::ptrdiff_t>(lead));
            i0 += static_cast<int32_t>(lead - start);
            i1 = i0 + static_cast<int32_t>(last - lead);
        }
    }

    int64_t sum = 0;
    for (std::size_t q = start; q < weights.size(); ++q)
        sum += weights[q];
    if (sum == 0) {
        // All weights vanished: the single source pixel in the middle of the range.
        weights.resize(start);
        const int32_t middle = (i0 + i1) >> 1;
        i0 = middle;
        i1 = middle + 1;
        weights.push_back(kOne);
    } else if (sum != kOne) {
        const int32_t at = std::clamp(static_cast<int32_t>(c + 0.5), i0, i1 - 1);
        weights[start + static_cast<std::size_t>(at - i0)] += static_cast<int32_t>(kOne - sum);
    }

    first.push_back(i0);
    end.push_back(i1);
    offset.push_back(static_cast<int32_t>(start));
    maxSpan = std::max(maxSpan, i1 - i0);
}

void zoomRect(ImageBuffer& src, ZoomWindow srcWindow, ImageBuffer& dst, ZoomWindow dstWindow,
              const ResampleFilter& xFilter, const ResampleFilter& yFilter)
{
    if (srcWindow.empty() || dstWindow.empty())
        return;
    const int channels = src.channels();
    const int bpc = src.bytesPerChannel();
    if (channels != dst.channels() || bpc != dst.bytesPerChannel())
        throw std::invalid_argument("resampler: source and destination formats differ");
    if ((channels != 1 && channels != 4) || (bpc != 1 && bpc != 2))
        throw std::invalid_argument("resampler: 1 or 4 channels of 8 or 16 bits only");

    int srcW = 0, srcH = 0, dstW = 0, dstH = 0;
    src.size(&srcW, &srcH);
    dst.size(&dstW, &dstH);
    Axis x, y;
    if (!planAxis(x, xFilter, srcWindow.x0, srcWindow.x1, srcW, dstWindow.x0, dstWindow.x1, dstW) ||
        !planAxis(y, yFilter, srcWindow.y0, srcWindow.y1, srcH, dstWindow.y0, dstWindow.y1, dstH))
        return;

    // Resampling a buffer onto itself: read the source window first so no row is overwritten before
    // it is used.
    const ZoomWindow clippedSource{x.src0, y.src0, x.src1, y.src1};
    ImageBuffer* source = &src;
    std::unique_ptr<WindowSnapshot> snapshot;
    if (&src == &dst && !(x.dst1 < x.src0 || x.src1 < x.dst0 || y.dst1 < y.src0 || y.src1 < y.dst0)) {
        snapshot = std::make_unique<WindowSnapshot>(src, clippedSource);
        source = snapshot.get();
    }

    auto run = [&](auto tag) {
        using V = decltype(tag);
        Zoomer<V> zoomer(*source, dst, x, y, channels);
        if (x.point && y.point) {
            zoomer.nearest();
            return;
        }
        const double wx = x.width(), wy = y.width();
        const double costXFirst = (wx * y.srcN() + y.dstN() * wy) * x.dstN();
        const double costYFirst = y.dstN() * (wx * x.dstN() + wy * x.srcN());
        if (costXFirst < costYFirst)
            zoomer.xFirst();
        else
            zoomer.yFirst();
    };
    if (bpc == 2)
        run(uint16_t{});
    else
        run(uint8_t{});
}

void ImageRowAccess::size(int* width, int* height) const
{
    *width = image_.width;
    *height = image_.height;
}

void ImageRowAccess::readRow(int y, int x, int count, uint8_t* out)
{
    if (y < 0 || y >= image_.height || x < 0 || count <= 0 || x + count > image_.width)
        return;
    std::memcpy(out, image_.row(y) + static_cast<std::size_t>(x) * image_.bytesPerPixel,
                static_cast<std::size_t>(count) * image_.bytesPerPixel);
}

void ImageRowAccess::writeRow(int y, int x, int count, const uint8_t* in)
{
    if (y < 0 || y >= image_.height || x < 0 || count <= 0 || x + count > image_.width)
        return;
    std::memcpy(image_.row(y) + static_cast<std::size_t>(x) * image_.bytesPerPixel, in,
                static_cast<std::size_t>(count) * image_.bytesPerPixel);
}

} // namespace imaging
