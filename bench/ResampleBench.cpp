// The preview's scaled read: a 24 MP 8-bit document zoomed with the triangle filter.

#include "imaging/resample/Resample.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

void BM_ZoomTriangle(benchmark::State& state)
{
    const int bpc = static_cast<int>(state.range(0));
    const double zoom = static_cast<double>(state.range(1)) / 100.0;
    fx::ImageRef src = fx::makeImage(6000, 4000, 4, bpc);
    std::memset(src->data, 0x35, static_cast<std::size_t>(src->rowBytes) * 4000);
    const int w = static_cast<int>(6000 * zoom), h = static_cast<int>(4000 * zoom);
    fx::ImageRef dst = fx::makeImage(w, h, 4, bpc);
    imaging::ImageRowAccess s(*src), d(*dst);
    const imaging::ResampleFilter& tri = *imaging::findFilter("triangle");
    for (auto _ : state)
        imaging::zoomRect(s, {0, 0, 5999, 3999}, d, {0, 0, w - 1, h - 1}, tri, tri);
    state.SetItemsProcessed(state.iterations() * int64_t{6000} * 4000);
}
BENCHMARK(BM_ZoomTriangle)->Args({1, 25})->Args({1, 50})->Args({2, 25})->Unit(benchmark::kMillisecond);

} // namespace
