// Framework overhead: image copies and the band loop around an effect that does nothing, at 24 MP.

#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderLoop.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

struct NullEffect : fx::Effect {
    static const fx::EffectOps ops;
    NullEffect() : Effect(&ops)
    {
        table[0].initInput("input", "Input");
        setParameters(table, 1);
    }
    static const char* title(fx::Effect*) { return "Orvo Bench Null"; }
    static void renderTile(fx::Effect&, fx::RenderInfo*) {}
};

const fx::EffectOps NullEffect::ops = {
    fx::createSlot<NullEffect>, fx::cloneSlot<NullEffect>, fx::destroySlot<NullEffect>, NullEffect::title,
    fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey, fx::defaults::description,
    nullptr, fx::defaults::version, fx::defaults::isActive, fx::defaults::beginRender, NullEffect::renderTile,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

void BM_CopyPixels(benchmark::State& state)
{
    const int bpc = static_cast<int>(state.range(0));
    fx::ImageRef a = fx::makeImage(kWidth, kHeight, 4, bpc);
    fx::ImageRef b(fx::Image::create(kWidth, kHeight, 4, bpc, -kWidth * 4 * bpc));  // forces row copies
    std::memset(a->data, 1, static_cast<std::size_t>(a->rowBytes) * kHeight);
    for (auto _ : state) {
        b->copyPixels(*a);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(a->rowBytes) * kHeight);
}
BENCHMARK(BM_CopyPixels)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_BandLoop(benchmark::State& state)
{
    const int bpc = static_cast<int>(state.range(0));
    fx::ImageRef src = fx::makeImage(kWidth, kHeight, 4, bpc);
    fx::ImageRef dst = fx::makeImage(kWidth, kHeight, 4, bpc);
    std::memset(src->data, 7, static_cast<std::size_t>(src->rowBytes) * kHeight);
    std::unique_ptr<fx::Effect, void (*)(fx::Effect*)> effect(NullEffect::ops.create(), NullEffect::ops.destroy);
    for (auto _ : state)
        benchmark::DoNotOptimize(fx::renderImage(*effect, *src, *dst));
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_BandLoop)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
