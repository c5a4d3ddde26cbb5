#include "imaging/grain/GrainEngine.h"

#include "framework/ChannelTraits.h"
#include "framework/Numeric.h"
#include "framework/Parameter.h"
#include "framework/RenderInfo.h"
#include "imaging/color/ColorPrimitives.h"
#include "imaging/color/SplineCurve.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace imaging {

// ---------------------------------------------------------------------------------------------
// Generator

namespace {

constexpr int kLanes = 8;

// The generator advanced by kLanes draws at once: s -> a * s + c.
struct Jump {
    uint32_t a = 1, c = 0;
};
constexpr Jump jumpOf(int draws)
{
    Jump j;
    for (int i = 0; i < draws; ++i) {
        j.a = j.a * GrainRandom::kMultiplier;
        j.c = j.c * GrainRandom::kMultiplier + GrainRandom::kIncrement;
    }
    return j;
}
constexpr Jump kJump = jumpOf(kLanes);

constexpr uint8_t sampleOf(uint32_t state) { return static_cast<uint8_t>(((state >> 16) & 0x7FFF) / 128); }

} // namespace

void GrainRandom::fill(uint8_t* out, std::size_t count)
{
    std::size_t i = 0;
    if (count >= kLanes) {
        // lane[k] holds the state after draw i + k + 1.
        uint32_t lane[kLanes];
        uint32_t s = state_;
        for (int k = 0; k < kLanes; ++k) {
            s = s * kMultiplier + kIncrement;
            lane[k] = s;
        }
        uint32_t last = state_;
        for (; i + kLanes <= count; i += kLanes) {
            for (int k = 0; k < kLanes; ++k)
                out[i + k] = sampleOf(lane[k]);
            last = lane[kLanes - 1];
            for (int k = 0; k < kLanes; ++k)
                lane[k] = lane[k] * kJump.a + kJump.c;
        }
        state_ = last;
    }
    for (; i < count; ++i)
        out[i] = sample();
}

// ---------------------------------------------------------------------------------------------
// Settings

GrainEngine::GrainEngine()
{
    for (int c = 0; c < 3; ++c) {
        size_[c] = 1.0;
        amount_[c] = 0.15;
        softness_[c] = 0.0f;
    }
    position_ = 0.5;
    range_ = 0.8;
    minimum_ = 0.2;
    passes_ = 1;
    anyAmount_ = true;
}

void GrainEngine::setSizes(double r, double g, double b)
{
    size_[0] = r;
    size_[1] = g;
    size_[2] = b;
    dirty_ = true;
}

void GrainEngine::setAmounts(double r, double g, double b)
{
    amount_[0] = r / 100;
    amount_[1] = g / 100;
    amount_[2] = b / 100;
    anyAmount_ = amount_[0] > 0 || amount_[1] > 0 || amount_[2] > 0;
}

void GrainEngine::setSoftness(float r, float g, float b)
{
    softness_[0] = r;
    softness_[1] = g;
    softness_[2] = b;
}

void GrainEngine::setResponse(double position, double range, double minimum)
{
    position_ = position / 100;
    range_ = range / 100;
    minimum_ = minimum / 100;
    responseDirty_ = true;
}

void GrainEngine::setScale(double horizontal, double vertical)
{
    scaleX_ = horizontal;
    scaleY_ = vertical;
}

void GrainEngine::setPasses(int32_t passes) { passes_ = passes; }

GrainEngine::Cells GrainEngine::cells(int channel) const
{
    Cells cells;
    cells.x = std::max(1, fx::truncToInt32(scaleX_ * size_[channel]));
    cells.y = std::max(1, fx::truncToInt32(size_[channel] * scaleY_));
    return cells;
}

const uint8_t* GrainEngine::response()
{
    if (responseDirty_)
        buildResponse();
    return response_;
}

// The five-point spline through (p - r, m), (p - r/2, m + 0.2), (p, m + 1), (p + r/2, m + 0.2),
// (p + r, m), clamped to 0..1 and tabulated over the 256 luminance levels.
void GrainEngine::buildResponse()
{
    const double p = position_, r = range_, m = minimum_;
    const CurvePoint points[5] = {{p - r, m}, {p - r / 2, m + 0.2}, {p, m + 1.0}, {p + r / 2, m + 0.2}, {p + r, m}};
    SplineCurve curve;
    curve.setPoints(points, 5);
    buildCurveTable8(response_, curve);
    for (int i = 0; i < 256; ++i) {
        weight8_[i] = static_cast<float>(response_[i]) * kInvFullScale<fx::Channel8>;
        weight16_[i] = static_cast<float>(response_[i]) / 255.0f;
    }
    responseDirty_ = false;
}

// ---------------------------------------------------------------------------------------------
// Noise

void GrainEngine::softenNoise(fx::Image& noise, int channel)
{
    if (softness_[channel] == 0.0f)
        return;
    const double softness = softness_[channel];
    // Amounts beyond any image only widen the window to the whole line; infinite ones are held
    // finite (NaN stays NaN, which the blur skips).
    auto limited = [](double amount) { return static_cast<float>(amount > 1e6 ? 1e6 : amount); };
    blur_.setAmounts(limited(softness * scaleX_), limited(softness * scaleY_));
    blur_.setPasses(passes_);
    blur_.blurRect(noise, fx::Rect{0, 0, noise.height, noise.width});
}

void GrainEngine::buildGrid(int channel, int32_t imageWidth, int32_t imageHeight)
{
    Grid& grid = grid_[channel];
    grid.cells = cells(channel);
    grid.imageWidth = imageWidth;
    grid.imageHeight = imageHeight;
    // At least one cell each way, so that an image smaller than a cell still has a grid.
    const int32_t width = std::max(1, imageWidth / grid.cells.x);
    const int32_t height = std::max(1, imageHeight / grid.cells.y);
    grid.image.reset();
    fx::ImageRef image = fx::makeImage(width, height, 1, 1);
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (amount_[channel] != 0) {
        GrainRandom random(static_cast<uint32_t>(channel));
        random.fill(image->data, count);
        softenNoise(*image, channel);
    } else {
        std::memset(image->data, kNeutralGrain, count);
    }
    grid.image = std::move(image);
}

void GrainEngine::freeGrids()
{
    for (Grid& grid : grid_)
        grid.image.reset();
}

// One channel's noise for the rect of image (rect already clipped), written into noise (rect-sized,
// contiguous rows).
void GrainEngine::fillNoiseTile(int channel, fx::Image& noise, const fx::Rect& rect, const fx::Image& image,
                                uint32_t tileIndex)
{
    const int32_t w = noise.width, h = noise.height;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    const Cells cellSize = cells(channel);
    if (amount_[channel] == 0 || (!cellSize.fine() && !cellSize.coarse()) || (cellSize.fine() && (w == 1 || h == 1))) {
        std::memset(noise.data, kNeutralGrain, count);
        return;
    }
    if (cellSize.fine()) {
        const uint32_t c = static_cast<uint32_t>(channel);
        GrainRandom random(c + tileIndex * (c + 1));
        random.fill(noise.data, count);
        softenNoise(noise, channel);
        return;
    }

    // Coarse: the grid stretched over the whole image, cell (i, j) at (i * W / gridW, j * H / gridH),
    // sampled bilinearly at the pixels' whole-image positions, edges clamped.
    const Grid& grid = grid_[channel];
    const fx::Image& g = *grid.image;
    const float stepX = static_cast<float>(g.width) / static_cast<float>(std::max(1, grid.imageWidth));
    const float stepY = static_cast<float>(g.height) / static_cast<float>(std::max(1, grid.imageHeight));
    auto locate = [](int64_t position, float step, int32_t cellsAcross, int32_t& i0, int32_t& i1, float& f) {
        const float u = static_cast<float>(std::max<int64_t>(0, position)) * step;
        if (!(u < static_cast<float>(cellsAcross - 1))) {
            i0 = i1 = cellsAcross - 1;
            f = 0.0f;
        } else {
            i0 = static_cast<int32_t>(u);
            i1 = i0 + 1;
            f = u - static_cast<float>(i0);
        }
    };
    column0_.resize(static_cast<std::size_t>(w));
    column1_.resize(static_cast<std::size_t>(w));
    columnFraction_.resize(static_cast<std::size_t>(w));
    for (int32_t x = 0; x < w; ++x)
        locate(int64_t{image.bounds.left} + rect.left + x, stepX, g.width, column0_[x], column1_[x], columnFraction_[x]);
    for (int32_t y = 0; y < h; ++y) {
        int32_t j0, j1;
        float fy;
        locate(int64_t{image.bounds.top} + rect.top + y, stepY, g.height, j0, j1, fy);
        const uint8_t* upper = g.row(j0);
        const uint8_t* lower = g.row(j1);
        uint8_t* out = noise.row(y);
        for (int32_t x = 0; x < w; ++x) {
            const int32_t i0 = column0_[x], i1 = column1_[x];
            const float fx = columnFraction_[x];
            const float a = upper[i0] + fx * static_cast<float>(upper[i1] - upper[i0]);
            const float b = lower[i0] + fx * static_cast<float>(lower[i1] - lower[i0]);
            out[x] = static_cast<uint8_t>(static_cast<int32_t>(a + fy * (b - a)));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Application

namespace {

// The response weight of a pixel: 8-bit w = response[luma8] * (1/255) in single precision; 16-bit
// w = response[trunc((luma16 + 64) * 0.007782101167315175) & 255] / 255.
struct Weights {
    const float* w8;   // response[i] * (1/255), single precision
    const float* w16;  // response[i] / 255

    template <class Traits>
    float of(int32_t r, int32_t g, int32_t b) const
    {
        if constexpr (Traits::sixteenBit) {
            const int32_t index = static_cast<int32_t>((luma16(r, g, b) + 64) * 0.007782101167315175) & 255;
            return w16[index];
        } else {
            return w8[luma8(r, g, b)];
        }
    }
};

template <class Traits>
void applyColor(fx::Image& image, const fx::Rect& rect, const Weights& weights, const double* amount,
                const uint8_t* const* noise)
{
    using V = typename Traits::value_type;
    constexpr int64_t full = Traits::fullScale;
    // 8-bit: float(amount); 16-bit: float(amount * 128), so an amount of 1 moves a channel by up
    // to 128 or 16384 levels at full response. Amounts from stored settings are not checked: a
    // factor beyond 1e12 saturates every grained channel anyway and is held there (NaN gives 0),
    // so that the truncation below stays inside int64.
    float scale[3];
    for (int c = 0; c < 3; ++c) {
        const double a = Traits::sixteenBit ? amount[c] * 128 : amount[c];
        scale[c] = static_cast<float>(!(a == a) ? 0.0 : std::clamp(a, -1e12, 1e12));
    }
    const int32_t w = rect.width();
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        V* p = image.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(rect.left);
        const std::size_t offset = static_cast<std::size_t>(y - rect.top) * static_cast<std::size_t>(w);
        const uint8_t* n0 = noise[0] + offset;
        const uint8_t* n1 = noise[1] + offset;
        const uint8_t* n2 = noise[2] + offset;
        for (int32_t x = 0; x < w; ++x, p += 4) {
            const float weight = weights.of<Traits>(p[0], p[1], p[2]);
            const uint8_t n[3] = {n0[x], n1[x], n2[x]};
            for (int c = 0; c < 3; ++c) {
                const float v = scale[c] * (weight * static_cast<float>(n[c] - 127)) + static_cast<float>(p[c]);
                const int64_t t = static_cast<int64_t>(v);
                p[c] = static_cast<V>(t < 0 ? 0 : (t > full ? full : t));
            }
        }
    }
}

template <class Traits>
void applyMonochrome(fx::Image& image, const fx::Rect& rect, const Weights& weights, double amount,
                     const uint8_t* noise)
{
    using V = typename Traits::value_type;
    constexpr int64_t full = Traits::fullScale;
    const int32_t w = rect.width();
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        V* p = image.rowAs<V>(y) + 4 * static_cast<std::ptrdiff_t>(rect.left);
        const uint8_t* n = noise + static_cast<std::size_t>(y - rect.top) * static_cast<std::size_t>(w);
        for (int32_t x = 0; x < w; ++x, p += 4) {
            const int32_t sample = n[x];
            if (sample == kNeutralGrain)
                continue;
            const bool lighten = sample >= 128;
            const int32_t distance = lighten ? sample - 127 : 127 - sample;
            const float weight = weights.of<Traits>(p[0], p[1], p[2]);
            double k;
            if constexpr (Traits::sixteenBit)
                k = amount * (weight * static_cast<float>(static_cast<int32_t>(distance * 128.5 + 0.5)));
            else
                k = amount * (weight * static_cast<float>(distance));
            // Coverage 0..full: amounts outside 0..1 from stored settings never wrap the composite.
            const int64_t cover = !(k > 0) ? 0 : (k >= static_cast<double>(full) ? full : static_cast<int64_t>(k));
            if (cover == 0)
                continue;
            const int64_t target = lighten ? full * cover : 0;
            const int64_t keep = full - cover;
            for (int c = 0; c < 3; ++c) {
                const int64_t v = target + static_cast<int64_t>(p[c]) * keep;
                p[c] = static_cast<V>(Traits::sixteenBit ? v >> 15 : v / full);
            }
            const int64_t a = static_cast<int64_t>(p[3]) * keep;
            p[3] = static_cast<V>(cover + (Traits::sixteenBit ? a >> 15 : a / full));
        }
    }
}

} // namespace

void GrainEngine::render(fx::Image& image, const fx::Rect& rect, const fx::Plugin::RenderInfo& info, bool monochrome)
{
    if (image.channels != 4 || (image.bytesPerChannel != 1 && image.bytesPerChannel != 2))
        throw std::invalid_argument("grain needs a 4-channel image of 8 or 16 bits per channel");
    const int channels = monochrome ? 1 : 3;
    const uint32_t tileIndex = static_cast<uint32_t>(std::max(0, info.tileIndex));
    const int32_t imageWidth = std::max(1, info.imageWidth);
    const int32_t imageHeight = std::max(1, info.imageHeight);

    // Whole-image grids: rebuilt at the first tile after the sizes were set, or when one is missing
    // or was built for other cells or another image size.
    const bool rebuild = tileIndex == 0 && dirty_;
    for (int c = 0; c < channels; ++c) {
        const Cells cellSize = cells(c);
        if (!cellSize.coarse())
            continue;
        const Grid& grid = grid_[c];
        if (rebuild || !grid.image || grid.cells.x != cellSize.x || grid.cells.y != cellSize.y ||
            grid.imageWidth != imageWidth || grid.imageHeight != imageHeight)
            buildGrid(c, imageWidth, imageHeight);
    }
    if (rebuild)
        dirty_ = false;
    response();
    const Weights weights{weight8_, weight16_};

    const fx::Rect r{std::max(rect.top, 0), std::max(rect.left, 0), std::min(rect.bottom, image.height),
                     std::min(rect.right, image.width)};
    if (!r.empty()) {
        const int32_t w = r.width(), h = r.height();
        const uint8_t* noise[3];
        for (int c = 0; c < channels; ++c) {
            std::vector<uint8_t>& buffer = noise_[c];
            buffer.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
            fx::ImageRef tile(fx::Image::create(w, h, 1, 1, 0, buffer.data()));
            fillNoiseTile(c, *tile, r, image, tileIndex);
            noise[c] = buffer.data();
        }
        fx::withChannelTraits(image.sixteenBit(), [&](auto traits) {
            using Traits = decltype(traits);
            if (monochrome)
                applyMonochrome<Traits>(image, r, weights, amount_[0], noise[0]);
            else
                applyColor<Traits>(image, r, weights, amount_, noise);
        });
    }

    if (info.tileCount > 0 && info.tileIndex >= info.tileCount - 1)
        freeGrids();
}

// ---------------------------------------------------------------------------------------------
// The parameter block

namespace {
constexpr uint32_t kChannelMark[3] = {0x100, 0x200, 0x400};
constexpr uint32_t kAmountMark = 0x4000;
} // namespace

void defineGrainParameters(fx::Parameter* params, const GrainEngine& engine)
{
    static const char* const kSizeKeys[3] = {"grainRSize", "grainGSize", "grainBSize"};
    static const char* const kSizeLabels[3] = {"Red Size", "Green Size", "Blue Size"};
    static const char* const kAmountKeys[3] = {"grainRAmount", "grainGAmount", "grainBAmount"};
    static const char* const kAmountLabels[3] = {"Red Amount", "Green Amount", "Blue Amount"};
    static const char* const kSoftnessKeys[3] = {"grainRSoftness", "grainGSoftness", "grainBSoftness"};
    static const char* const kSoftnessLabels[3] = {"Red Softness", "Green Softness", "Blue Softness"};
    for (int c = 0; c < 3; ++c) {
        fx::Parameter& size = params[GrainRSize + c];
        size.initRange(kSizeKeys[c], kSizeLabels[c], 1, 10, engine.size(c), 0);
        size.orFlags(kChannelMark[c] | fx::ParamFlag::IntegerValued);
        fx::Parameter& amount = params[GrainRAmount + c];
        amount.initRange(kAmountKeys[c], kAmountLabels[c], 0, 100, engine.amount(c) * 100, 0);
        amount.orFlags(kChannelMark[c] | kAmountMark);
        fx::Parameter& softness = params[GrainRSoftness + c];
        softness.initRange(kSoftnessKeys[c], kSoftnessLabels[c], 0, 100, engine.softness(c), 0);
        softness.orFlags(kChannelMark[c]);
    }
    params[GrainResponseGroup].initGroupBegin("grainResponse", "Film Response", true);
    params[GrainResponseGroup].orFlags(kChannelMark[0]);
    params[GrainPosition].initRange("grainPos", "Position", 0, 100, engine.position() * 100, 0);
    params[GrainRange].initRange("grainRange", "Range", 0, 100, engine.range() * 100, 0);
    params[GrainMinimum].initRange("grainMin", "Minimum", 0, 100, engine.minimum() * 100, 0);
    params[GrainResponseEnd].initGroupEnd();
}

void readGrainParameters(const fx::Parameter* params, GrainEngine& engine)
{
    auto value = [params](int i) { return params[i].range.current; };
    engine.setSizes(value(GrainRSize), value(GrainGSize), value(GrainBSize));
    engine.setAmounts(value(GrainRAmount), value(GrainGAmount), value(GrainBAmount));
    engine.setSoftness(static_cast<float>(value(GrainRSoftness)), static_cast<float>(value(GrainGSoftness)),
                       static_cast<float>(value(GrainBSoftness)));
    engine.setResponse(value(GrainPosition), value(GrainRange), value(GrainMinimum));
}

} // namespace imaging
