// The final run's band loop over a 24 MP document with an inactive effect (pure transport through
// the in-memory host), against one memcpy of the document's bytes.

#include "app/core/HostSession.h"
#include "framework/Effect.h"
#include "host/PSRenderInfo.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <vector>

namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000;

struct PassThrough : fx::Effect {
    static const fx::EffectOps ops;
    PassThrough() : Effect(&ops)
    {
        table[0].initInput("input", "Input");
        setParameters(table, 1);
    }
    static bool isActive(const fx::Effect&) { return false; }
    static void render(fx::Effect&, fx::RenderInfo*) {}
    static const char* title(fx::Effect*) { return "Orvo Bench Pass"; }
};
const fx::EffectOps PassThrough::ops = {
    fx::createSlot<PassThrough>, fx::cloneSlot<PassThrough>, fx::destroySlot<PassThrough>, PassThrough::title,
    fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey, fx::defaults::description,
    nullptr, fx::defaults::version, PassThrough::isActive, fx::defaults::beginRender, PassThrough::render,
    fx::defaults::parameterChanged, fx::defaults::inputRect};

// range(0): bits per channel; range(1): 1 = suites, 0 = advance state.
void BM_BandLoopInactive(benchmark::State& state)
{
    const int depth = static_cast<int>(state.range(0));
    orvo::Document document(kWidth, kHeight, depth);
    for (std::size_t i = 0; i < document.samples().size(); ++i)
        document.samples()[i] = static_cast<uint16_t>(i * 7 % (document.maxValue() + 1u));
    orvo::HostOptions options;
    options.registryFolder = std::filesystem::temp_directory_path() / "orvo-bench-registry";
    if (state.range(1) == 0)
        options.withheldSuites = {kFpBufferSuite};
    orvo::HostSession session(document, options);
    PassThrough effect;
    for (auto _ : state) {
        orvo::host::PS_RenderDriver run(session.record(), effect, false);
        benchmark::DoNotOptimize(run.renderDocument(depth / 8));
        run.driver().end();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3 * (depth / 8));
}
BENCHMARK(BM_BandLoopInactive)->Args({8, 1})->Args({8, 0})->Args({16, 1})->Unit(benchmark::kMillisecond);

void BM_DocumentMemcpy(benchmark::State& state)
{
    const std::size_t bytes = std::size_t{kWidth} * kHeight * 3 * static_cast<std::size_t>(state.range(0) / 8);
    std::vector<uint8_t> from(bytes, 0x35), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_DocumentMemcpy)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

} // namespace
