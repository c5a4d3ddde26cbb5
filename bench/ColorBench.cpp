// Colour-correction throughput on 24-megapixel images (6000 x 4000), 8- and 16-bit.

#include "framework/ChannelTraits.h"
#include "framework/Image.h"
#include "imaging/color/ColorCorrector.h"

#include "BenchImages.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using bench::kHeight;
using bench::kWidth;
using bench::makeImage24MP;


enum class Mode { TablesOnly, Ranges, RangesAndHue };

template <class Traits>
void applyRect(benchmark::State& state, Mode mode)
{
    fx::ImageRef img = makeImage24MP<Traits>();
    imaging::ColorCorrector cc;
    if (mode == Mode::TablesOnly) {
        cc.setAll(0, 0, 0.1f, 0.2f, -0.15f, 0.05f, 0, -0.1f, Traits::sixteenBit);
    } else {
        cc.setMaster(0.1f, 0.2f, -0.15f, 0.05f, 0, -0.1f);
        cc.setShadows(0.1f, 0, 0.2f, 0, 0, 0.1f, -1, -1);
        cc.setMidtones(0, 0.1f, 0, 0.05f, 0, 0, -1, -1);
        cc.setHighlights(-0.1f, 0, 0, 0, 0.05f, 0, -1, -1);
        if (mode == Mode::RangesAndHue)
            cc.setHueSaturation(25, 20);
        cc.setActive(true);
        cc.setTablesOnly(false);
        cc.rebuildTables(Traits::sixteenBit);
    }
    const fx::Rect all{0, 0, kHeight, kWidth};
    for (auto _ : state) {
        cc.applyRect(*img, all);
        benchmark::DoNotOptimize(img->data);
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] = benchmark::Counter(24.0 * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void BM_ColorCorrector_TablesOnly_8(benchmark::State& s) { applyRect<fx::Channel8>(s, Mode::TablesOnly); }
void BM_ColorCorrector_TablesOnly_16(benchmark::State& s) { applyRect<fx::Channel16>(s, Mode::TablesOnly); }
void BM_ColorCorrector_Ranges_8(benchmark::State& s) { applyRect<fx::Channel8>(s, Mode::Ranges); }
void BM_ColorCorrector_Ranges_16(benchmark::State& s) { applyRect<fx::Channel16>(s, Mode::Ranges); }
void BM_ColorCorrector_RangesHue_8(benchmark::State& s) { applyRect<fx::Channel8>(s, Mode::RangesAndHue); }
void BM_ColorCorrector_RangesHue_16(benchmark::State& s) { applyRect<fx::Channel16>(s, Mode::RangesAndHue); }

} // namespace

BENCHMARK(BM_ColorCorrector_TablesOnly_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColorCorrector_TablesOnly_16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColorCorrector_Ranges_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColorCorrector_Ranges_16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColorCorrector_RangesHue_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ColorCorrector_RangesHue_16)->Unit(benchmark::kMillisecond)->UseRealTime();
