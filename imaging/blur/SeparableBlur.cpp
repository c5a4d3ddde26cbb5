#include "imaging/blur/SeparableBlur.h"

#include "framework/ChannelTraits.h"
#include "framework/Memory.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace imaging {

namespace {

using fx::Image;
using fx::Rect;

// Division of a window sum h (at most full scale times the window weight D) by D in the interior
// of a line: (h * mul + add) >> shift, or a plain division where no reciprocal is precise enough.
struct Reciprocal {
    uint64_t mul = 0;
    uint64_t add = 0;
    int shift = 0;
    bool exact = false;
};

// (2^shift / D, (2^shift - D * that) * maxValue): the result is h / D plus less than one level, and
// exact for window sums of a constant line, as long as the correction term stays below 2^shift.
bool reciprocalFor(uint64_t d, int shift, uint64_t maxValue, Reciprocal* out)
{
    const uint64_t one = uint64_t{1} << shift;
    const uint64_t mul = one / d;
    const uint64_t rest = one - mul * d;
    if (mul == 0 || rest * maxValue >= one)
        return false;
    *out = Reciprocal{mul, rest * maxValue, shift, false};
    return true;
}

// Tap weights of one pass: full taps weigh `full` (256 or 65536), the two outer taps c, and
// g = full - c is what a tap gains when it moves from the outer position to a full one.
struct PassWeights {
    int32_t radius = 0;
    int64_t full = 0;
    int64_t c = 0;
    int64_t g = 0;
    int64_t window = 0;  // D = (2r - 1) * full + 2c
    Reciprocal reciprocal;
};

template <class Traits>
PassWeights passWeights(const BoxWindow& box)
{
    PassWeights w;
    w.radius = box.radius;
    w.full = Traits::sixteenBit ? 65536 : 256;
    w.c = static_cast<int64_t>(box.fraction * static_cast<float>(w.full));
    w.g = w.full - w.c;
    w.window = (2 * static_cast<int64_t>(box.radius) - 1) * w.full + 2 * w.c;
    const auto d = static_cast<uint64_t>(w.window);
    // 8-bit: floor(2^23 / D) with the correction (2^23 - e D) * 255. Windows so wide that this
    // correction reaches a whole level (it would lift a black line) use 2^47 instead, the precision
    // of the 16-bit form: floor(2^47 / D) with (2^47 - W D) * 65535.
    bool found = Traits::sixteenBit ? reciprocalFor(d, 47, 65535, &w.reciprocal)
                                    : reciprocalFor(d, 23, 255, &w.reciprocal) ||
                                          reciprocalFor(d, 47, 255, &w.reciprocal);
    if (!found)
        w.reciprocal = Reciprocal{0, 0, 0, true};
    return w;
}

// One pass of the box over a line of `len` pixels of C interleaved channels; pixel i starts at
// d + i * step. The result goes to out (contiguous, C values per pixel).
template <class V, int C, bool Exact>
void boxPass(const V* d, std::ptrdiff_t step, int32_t len, const PassWeights& w, V* out)
{
    const int32_t r = w.radius;
    const int64_t full = w.full;
    const int64_t c = w.c;
    const int64_t g = w.g;
    const int64_t D = w.window;
    const uint64_t mul = w.reciprocal.mul;
    const uint64_t add = w.reciprocal.add;
    const int shift = w.reciprocal.shift;
    auto px = [d, step](int32_t i) { return d + static_cast<std::ptrdiff_t>(i) * step; };

    int64_t h[C];
    for (int k = 0; k < C; ++k) {
        int64_t sum = 0;
        for (int32_t j = 0; j < r; ++j)
            sum += px(j)[k];
        h[k] = full * sum + c * px(r)[k];
    }
    int64_t weight = full * r + c;
    for (int k = 0; k < C; ++k)
        out[k] = static_cast<V>(h[k] / weight);

    // Left edge: the window grows by one full tap per step.
    for (int32_t i = 1; i < r; ++i) {
        const V* in1 = px(i + r - 1);
        const V* in2 = px(i + r);
        weight += full;
        for (int k = 0; k < C; ++k) {
            h[k] += g * in1[k] + c * in2[k];
            out[i * C + k] = static_cast<V>(h[k] / weight);
        }
    }
    {
        const V* in1 = px(2 * r - 1);
        const V* in2 = px(2 * r);
        const V* first = px(0);
        for (int k = 0; k < C; ++k) {
            h[k] += g * in1[k] + c * in2[k] - g * first[k];
            out[r * C + k] = static_cast<V>(h[k] / D);
        }
    }
    // Interior: the whole window lies inside the line.
    const int32_t end = len - r;
    for (int32_t i = r + 1; i < end; ++i) {
        const V* in1 = px(i + r - 1);
        const V* in2 = px(i + r);
        const V* out1 = px(i - r - 1);
        const V* out2 = px(i - r);
        V* o = out + static_cast<std::ptrdiff_t>(i) * C;
        for (int k = 0; k < C; ++k) {
            h[k] += g * (in1[k] - out2[k]) + c * (in2[k] - out1[k]);
            if constexpr (Exact)
                o[k] = static_cast<V>(h[k] / D);
            else
                o[k] = static_cast<V>((static_cast<uint64_t>(h[k]) * mul + add) >> shift);
        }
    }
    // Right edge: the window loses the outer tap, then one full tap per step.
    {
        const int32_t i = end;
        const V* last = px(len - 1);
        const V* out1 = px(i - r - 1);
        const V* out2 = px(i - r);
        weight = D - c;
        for (int k = 0; k < C; ++k) {
            h[k] += g * last[k] - c * out1[k] - g * out2[k];
            out[i * C + k] = static_cast<V>(h[k] / weight);
        }
    }
    for (int32_t i = end + 1; i < len; ++i) {
        const V* out1 = px(i - r - 1);
        const V* out2 = px(i - r);
        weight -= full;
        for (int k = 0; k < C; ++k) {
            h[k] -= c * out1[k] + g * out2[k];
            out[i * C + k] = static_cast<V>(h[k] / weight);
        }
    }
}

// All passes of `count` lines: line n starts at base + n * lineStep, pixel i of it at + i * step.
template <class V, int C, bool Exact>
void blurLines(V* base, std::ptrdiff_t lineStep, std::ptrdiff_t step, int32_t count, int32_t len,
               int32_t passes, const PassWeights& w, V* scratch)
{
    for (int32_t n = 0; n < count; ++n) {
        V* line = base + static_cast<std::ptrdiff_t>(n) * lineStep;
        for (int32_t p = 0; p < passes; ++p) {
            boxPass<V, C, Exact>(line, step, len, w, scratch);
            if (step == C) {
                std::memcpy(line, scratch, sizeof(V) * C * static_cast<std::size_t>(len));
            } else {
                for (int32_t i = 0; i < len; ++i)
                    for (int k = 0; k < C; ++k)
                        line[static_cast<std::ptrdiff_t>(i) * step + k] = scratch[i * C + k];
            }
        }
    }
}

template <class Traits, int C>
void blurDirection(Image& image, const Rect& r, bool rows, const BoxWindow& box, int32_t passes, uint8_t* scratch)
{
    using V = typename Traits::value_type;
    const PassWeights w = passWeights<Traits>(box);
    const std::ptrdiff_t rowStep = image.stride / static_cast<std::ptrdiff_t>(sizeof(V));
    V* base = image.rowAs<V>(r.top) + static_cast<std::ptrdiff_t>(r.left) * C;
    V* line = reinterpret_cast<V*>(scratch);
    // Rows: lines follow each other down the rect, pixels are C apart. Columns: lines are C apart,
    // pixels one row apart.
    const std::ptrdiff_t lineStep = rows ? rowStep : C;
    const std::ptrdiff_t step = rows ? C : rowStep;
    const int32_t count = rows ? r.height() : r.width();
    const int32_t len = rows ? r.width() : r.height();
    if (w.reciprocal.exact)
        blurLines<V, C, true>(base, lineStep, step, count, len, passes, w, line);
    else
        blurLines<V, C, false>(base, lineStep, step, count, len, passes, w, line);
}

} // namespace

BoxWindow boxWindow(float halfAmount, int32_t length)
{
    const float x = halfAmount;
    if (!(x > 0.0f) || length < 4)
        return {};
    const int32_t limit = length / 2 - 1;
    const float ceiling = std::ceil(x);
    BoxWindow box;
    box.fraction = ceiling == x ? 0.0f : 1.0f - (ceiling - x);
    int32_t r = ceiling >= static_cast<float>(limit) ? limit : static_cast<int32_t>(ceiling);
    if (static_cast<float>(r) == std::floor(x))
        ++r;
    box.radius = std::min(r, limit);
    return box;
}

namespace {
constexpr int64_t kBorderLimit = int64_t{1} << 28;
}

int32_t blurBorder(float amount, int32_t extraPasses)
{
    if (!(amount > 0.0f))
        return 0;
    if (amount >= static_cast<float>(kBorderLimit))
        return static_cast<int32_t>(kBorderLimit);
    const float x = amount * 0.5f;
    const float ceiling = std::ceil(x);
    const int64_t r = static_cast<int64_t>(ceiling) + (ceiling == x ? 1 : 0);
    const int64_t passes = static_cast<int64_t>(std::max(extraPasses, 0)) + 1;
    const int64_t reach = std::max<int64_t>(static_cast<int64_t>(std::ceil(amount)), passes * r + 1);
    return static_cast<int32_t>(std::min(reach, kBorderLimit));
}

SeparableBlur::SeparableBlur(const SeparableBlur& other)
    : horizontal_(other.horizontal_), vertical_(other.vertical_), extraPasses_(other.extraPasses_)
{
}

SeparableBlur& SeparableBlur::operator=(const SeparableBlur& other)
{
    horizontal_ = other.horizontal_;
    vertical_ = other.vertical_;
    extraPasses_ = other.extraPasses_;
    return *this;
}

SeparableBlur::~SeparableBlur()
{
    fx::frameworkFree(scratch_);
}

void SeparableBlur::setAmounts(float horizontal, float vertical)
{
    horizontal_ = horizontal;
    vertical_ = vertical;
}

void SeparableBlur::setPasses(int32_t extra)
{
    extraPasses_ = std::clamp(extra, 0, std::numeric_limits<int32_t>::max() - 1);
}

void SeparableBlur::reserve(int64_t bytes)
{
    if (bytes <= capacity_)
        return;
    if (bytes > std::numeric_limits<int32_t>::max())
        throw std::bad_alloc();
    fx::frameworkFree(std::exchange(scratch_, nullptr));
    capacity_ = 0;
    scratch_ = static_cast<uint8_t*>(fx::frameworkAlloc(static_cast<std::size_t>(bytes)));
    capacity_ = static_cast<int32_t>(bytes);
}

void SeparableBlur::blurRect(Image& image, const Rect& rect)
{
    if (image.channels != 1 && image.channels != 4)
        throw std::invalid_argument("the blur needs a one- or four-channel image");
    if (!image.origin || image.width <= 0 || image.height <= 0)
        return;
    const Rect r{std::max(rect.top, 0), std::max(rect.left, 0), std::min(rect.bottom, image.height),
                 std::min(rect.right, image.width)};
    if (r.empty())
        return;
    const BoxWindow across = boxWindow(horizontal_ * 0.5f, r.width());
    const BoxWindow down = boxWindow(vertical_ * 0.5f, r.height());
    if (across.radius == 0 && down.radius == 0)
        return;
    reserve(static_cast<int64_t>(std::max(image.width, image.height)) * image.bytesPerPixel);
    const int32_t passes = extraPasses_ + 1;
    fx::withChannelTraits(image.sixteenBit(), [&](auto traits) {
        using T = decltype(traits);
        for (int direction = 0; direction < 2; ++direction) {
            const bool rows = direction == 0;
            const BoxWindow& box = rows ? across : down;
            if (box.radius == 0)
                continue;
            if (image.channels == 4)
                blurDirection<T, 4>(image, r, rows, box, passes, scratch_);
            else
                blurDirection<T, 1>(image, r, rows, box, passes, scratch_);
        }
    });
}

} // namespace imaging
