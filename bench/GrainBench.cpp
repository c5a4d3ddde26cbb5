// Film grain throughput on 24-megapixel images (6000 x 4000), 8- and 16-bit: fine colour grain
// (one generator draw per pixel and channel) and coarse grain of size 4 (whole-image grids drawn
// at the first band, interpolated per pixel), rendered band by band as the host does.

#include "framework/ChannelTraits.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "imaging/grain/GrainEngine.h"

#include "BenchImages.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

namespace {

using bench::kHeight;
using bench::kWidth;
using bench::makeImage24MP;
constexpr int kBand = 256;


template <class Traits>
void renderGrain(benchmark::State& state, double size, bool monochrome)
{
    fx::ImageRef img = makeImage24MP<Traits>();
    imaging::GrainEngine engine;
    engine.setAmounts(30, 25, 40);
    fx::HostRenderInfo info;
    info.imageWidth = kWidth;
    info.imageHeight = kHeight;
    info.tileCount = (kHeight + kBand - 1) / kBand;
    for (auto _ : state) {
        engine.setSizes(size, size, size);  // as every beginRender does
        for (int32_t t = 0; t < info.tileCount; ++t) {
            info.tileIndex = t;
            info.tileRect = fx::Rect{t * kBand, 0, std::min(kHeight, (t + 1) * kBand), kWidth};
            engine.render(*img, info.tileRect, info, monochrome);
        }
        benchmark::DoNotOptimize(img->data);
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] = benchmark::Counter(24.0 * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void BM_Grain_FineColour_8(benchmark::State& s) { renderGrain<fx::Channel8>(s, 1, false); }
void BM_Grain_FineColour_16(benchmark::State& s) { renderGrain<fx::Channel16>(s, 1, false); }
void BM_Grain_Coarse4_8(benchmark::State& s) { renderGrain<fx::Channel8>(s, 4, false); }
void BM_Grain_Coarse4_16(benchmark::State& s) { renderGrain<fx::Channel16>(s, 4, false); }
void BM_Grain_FineMono_8(benchmark::State& s) { renderGrain<fx::Channel8>(s, 1, true); }
void BM_Grain_FineMono_16(benchmark::State& s) { renderGrain<fx::Channel16>(s, 1, true); }

} // namespace

BENCHMARK(BM_Grain_FineColour_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Grain_FineColour_16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Grain_Coarse4_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Grain_Coarse4_16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Grain_FineMono_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Grain_FineMono_16)->Unit(benchmark::kMillisecond)->UseRealTime();
