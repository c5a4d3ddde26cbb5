// The separable blur and the tone adjustment on a 24-megapixel (6000 x 4000) RGBA picture, in place.
// Counters: MP/s = megapixels of the picture processed per second.

#include "framework/Image.h"
#include "imaging/blur/SeparableBlur.h"
#include "imaging/pixel/Pixel.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// One picture per channel width, filled once with a smooth ramp plus a little pattern.
fx::Image& picture(int bpc)
{
    static fx::ImageRef pictures[2];
    fx::ImageRef& ref = pictures[bpc - 1];
    if (!ref) {
        ref = fx::makeImage(kWidth, kHeight, 4, bpc);
        const int full = bpc == 2 ? 32768 : 255;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 4; ++c) {
                    const int v = ((x + 3 * y) * (c + 1) + (x * y) % 97) % (full + 1);
                    if (bpc == 2)
                        ref->rowAs<uint16_t>(y)[4 * x + c] = static_cast<uint16_t>(v);
                    else
                        ref->row(y)[4 * x + c] = static_cast<uint8_t>(v);
                }
    }
    return *ref;
}

void setRate(benchmark::State& state)
{
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight / 1e6,
                                                benchmark::Counter::kIsRate);
}

// Arguments: bytes per channel, amount (pixels, both directions), passes.
void BM_SeparableBlur(benchmark::State& state)
{
    fx::Image& image = picture(static_cast<int>(state.range(0)));
    imaging::SeparableBlur blur;
    blur.setAmounts(static_cast<float>(state.range(1)), static_cast<float>(state.range(1)));
    blur.setPasses(static_cast<int32_t>(state.range(2)) - 1);
    for (auto _ : state) {
        blur.blurRect(image, {0, 0, kHeight, kWidth});
        benchmark::ClobberMemory();
    }
    setRate(state);
}
BENCHMARK(BM_SeparableBlur)
    ->ArgNames({"bpc", "amount", "passes"})
    ->ArgsProduct({{1, 2}, {2, 40, 400}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// Arguments: bytes per channel, with hue/saturation (1) or the tone and gain tables alone (0).
void BM_ToneAdjust(benchmark::State& state)
{
    fx::Image& image = picture(static_cast<int>(state.range(0)));
    const bool hsv = state.range(1) != 0;
    for (auto _ : state) {
        imaging::toneAdjust(image, {0, 0, kHeight, kWidth}, hsv ? 12.0f : 0.0f, hsv ? 0.2f : 0.0f, 0.1, 0.2, -0.1,
                            0.05, 0.0, -0.05, false);
        benchmark::ClobberMemory();
    }
    setRate(state);
}
BENCHMARK(BM_ToneAdjust)
    ->ArgNames({"bpc", "hsv"})
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace
