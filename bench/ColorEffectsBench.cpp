// Colour effects at 24 megapixels (6000 x 4000), 8- and 16-bit: Ozone with all eleven zones active
// (the per-key accumulator path) and F-Stop (the linear-light round trip). Each iteration is the
// effect's own work, beginRender and renderTile over the whole image as one tile, without the host's
// band copies.

#include "effects/OrvoEffects.h"
#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/EffectRegistry.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"

#include "BenchImages.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using bench::kHeight;
using bench::kWidth;
using bench::makeImage24MP;


fx::Effect* create(const char* name)
{
    static fx::EffectRegistry registry = [] {
        fx::EffectRegistry r;
        orvo::registerEffects(r);
        return r;
    }();
    return registry.createEffect(name);
}

// The host side of a render: only the fields, no host services.
class WholeImageRender : public fx::RenderInfo {
public:
    WholeImageRender(fx::Image& out)
    {
        output = &out;
        renderRect = {0, 0, out.height, out.width};
        tileRect = renderRect;
        sixteenBit = out.sixteenBit() ? 1 : 0;
        imageWidth = out.width;
        imageHeight = out.height;
        tileCount = 1;
        tileIndex = 0;
    }
    bool cancelRequested() override { return false; }
    bool reportProgress(int32_t, int32_t) override { return true; }
    bool hostQuery(int32_t, int32_t) override { return true; }
    void hostNotify(int32_t, int32_t) override {}
    fx::Image* sourceAt(fx::Point, fx::Rect*) override { return nullptr; }
};

void setRange(fx::Effect& e, int index, double v) { e.parameterAt(index)->range.current = v; }

template <class Traits>
void renderEffect(benchmark::State& state, const char* name, void (*configure)(fx::Effect&))
{
    fx::ImageRef src = makeImage24MP<Traits>();
    fx::ImageRef dst = fx::makeImage(kWidth, kHeight, 4, Traits::bytes);
    fx::Effect* e = create(name);
    configure(*e);
    e->parameterAt(0)->input.image = src.get();
    WholeImageRender info(*dst);
    for (auto _ : state) {
        e->ops->beginRender(*e, &info);
        e->ops->renderTile(*e, &info);
        benchmark::DoNotOptimize(dst->data);
        benchmark::ClobberMemory();
    }
    e->parameterAt(0)->input.image = nullptr;
    e->ops->destroy(e);
    state.counters["MP/s"] = benchmark::Counter(24.0 * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

// Every zone gets its own tone and gains.
void ozoneAllZones(fx::Effect& e)
{
    for (int k = 0; k < 11; ++k) {
        const int base = 3 + 10 * k;
        setRange(e, base + 3, 5 + k);       // brightness
        setRange(e, base + 4, 10 - 2 * k);  // contrast
        setRange(e, base + 5, k % 3 * 10);  // gamma
        setRange(e, base + 6, 20 - 4 * k);  // red
        setRange(e, base + 8, 3 * k);       // blue
    }
}

void fStopMixed(fx::Effect& e)
{
    setRange(e, 3, 0.5);    // master red
    setRange(e, 5, -0.25);  // master blue
    setRange(e, 20, 1);     // midtones green
    setRange(e, 27, -1);    // highlights red
}

void BM_Ozone_AllZones_8(benchmark::State& s) { renderEffect<fx::Channel8>(s, "Ozone", ozoneAllZones); }
void BM_Ozone_AllZones_16(benchmark::State& s) { renderEffect<fx::Channel16>(s, "Ozone", ozoneAllZones); }
void BM_FStop_LinearLight_8(benchmark::State& s) { renderEffect<fx::Channel8>(s, "FStop", fStopMixed); }
void BM_FStop_LinearLight_16(benchmark::State& s) { renderEffect<fx::Channel16>(s, "FStop", fStopMixed); }

} // namespace

BENCHMARK(BM_Ozone_AllZones_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Ozone_AllZones_16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FStop_LinearLight_8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FStop_LinearLight_16)->Unit(benchmark::kMillisecond)->UseRealTime();
