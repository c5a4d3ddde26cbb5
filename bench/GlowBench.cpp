// Matte extraction and glow throughput on 24-megapixel images (6000 x 4000), 8- and 16-bit: the
// luminance matte with a blur of 50 thousandths of the image height (200 pixels), and a Spread /
// Screen glow of that matte blurred by 200 pixels at brightness 0.75.

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/glow/Glow.h"
#include "imaging/matte/Selection.h"

#include "BenchImages.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using bench::kHeight;
using bench::kWidth;
using bench::makeImage24MP;
constexpr double kBlurUnits = 50;

struct BenchRenderInfo : fx::HostRenderInfo {
    explicit BenchRenderInfo(bool sixteen)
    {
        imageWidth = kWidth;
        imageHeight = kHeight;
        sixteenBit = sixteen ? 1 : 0;
    }
};

// The glow family's highlight matte: position 1, range 1.6.
imaging::Selection highlightSelection(double blur)
{
    imaging::Selection selection;
    selection.setPosition(1.0f);
    selection.setRange(1.6f);
    selection.setBlur(blur);
    return selection;
}

void reportRate(benchmark::State& state)
{
    state.counters["MP/s"] = benchmark::Counter(24.0 * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

template <class Traits>
void buildMatte(benchmark::State& state)
{
    const fx::ImageRef img = makeImage24MP<Traits>();
    BenchRenderInfo info(Traits::sixteenBit);
    imaging::Selection selection = highlightSelection(kBlurUnits);
    const fx::Rect all{0, 0, kHeight, kWidth};
    for (auto _ : state) {
        fx::ImageRef matte = selection.buildMatte(*img, all, info);
        benchmark::DoNotOptimize(matte->data);
    }
    reportRate(state);
}

template <class Traits>
void spreadScreen(benchmark::State& state)
{
    const fx::ImageRef img = makeImage24MP<Traits>();
    BenchRenderInfo info(Traits::sixteenBit);
    imaging::Selection selection = highlightSelection(0);
    const fx::Rect all{0, 0, kHeight, kWidth};
    const fx::ImageRef mask = selection.buildMatte(*img, all, info);
    const float blur = info.unitsToPixelsX(static_cast<float>(kBlurUnits));
    for (auto _ : state) {
        imaging::applyGlow(*img, *mask, all, blur, blur, 0.75, static_cast<int32_t>(imaging::GlowMode::Spread),
                           static_cast<int32_t>(imaging::GlowBlend::Screen), fx::ColorD{1, 1, 1}, info.passes);
        benchmark::DoNotOptimize(img->data);
        benchmark::ClobberMemory();
    }
    reportRate(state);
}

void BM_BuildMatte_LuminanceBlur50_8(benchmark::State& s) { buildMatte<fx::Channel8>(s); }
void BM_BuildMatte_LuminanceBlur50_16(benchmark::State& s) { buildMatte<fx::Channel16>(s); }
void BM_ApplyGlow_SpreadScreenBlur_8(benchmark::State& s) { spreadScreen<fx::Channel8>(s); }
void BM_ApplyGlow_SpreadScreenBlur_16(benchmark::State& s) { spreadScreen<fx::Channel16>(s); }

} // namespace

BENCHMARK(BM_BuildMatte_LuminanceBlur50_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildMatte_LuminanceBlur50_16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ApplyGlow_SpreadScreenBlur_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ApplyGlow_SpreadScreenBlur_16)->Unit(benchmark::kMillisecond)->UseRealTime();
