// orvo-demo: renders a small effect band by band over a generated 8-bit picture and writes it as PNG.
// Usage: orvo-demo [OUT.png]   (default out/demo.png)

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"
#include "framework/RenderLoop.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// Darkens the picture towards the corners; "Amount" in percent.
struct DemoVignette : fx::Effect {
    static const fx::EffectOps ops;
    DemoVignette() : Effect(&ops)
    {
        table[0].initInput("input", "Input");
        table[1].initRange("demoAmount", "Amount", 0, 100, 60, 0);
        setParameters(table, 2);
    }
    static const char* title(fx::Effect*) { return "Orvo Demo Vignette"; }
    static bool isActive(const fx::Effect& e) { return e.valueAsDouble(1) != 0; }

    template <class T>
    static void render(fx::Effect& e, fx::RenderInfo* info)
    {
        using V = typename T::value_type;
        const double amount = e.valueAsDouble(1) * 0.01;
        const fx::Rect& r = info->renderRect;
        const double cx = info->imageWidth * 0.5, cy = info->imageHeight * 0.5;
        const double reach = std::sqrt(cx * cx + cy * cy);
        for (int y = r.top; y < r.bottom; ++y) {
            V* p = info->output->rowAs<V>(y);
            const double dy = info->tileRect.top + y - cy;
            for (int x = r.left; x < r.right; ++x) {
                const double dx = x - cx;
                const double keep = 1.0 - amount * (dx * dx + dy * dy) / (reach * reach);
                for (int c = 0; c < 3; ++c)
                    p[4 * x + c] = static_cast<V>(p[4 * x + c] * keep);
            }
        }
    }
    static void renderTile(fx::Effect& e, fx::RenderInfo* info)
    {
        fx::withChannelTraits(info->sixteenBit, [&](auto t) { render<decltype(t)>(e, info); });
    }
};

const fx::EffectOps DemoVignette::ops = {
    fx::createSlot<DemoVignette>, fx::cloneSlot<DemoVignette>, fx::destroySlot<DemoVignette>,
    DemoVignette::title, fx::defaults::vendorName, fx::defaults::productTitle, fx::defaults::productKey,
    fx::defaults::description, nullptr, fx::defaults::version, DemoVignette::isActive,
    fx::defaults::beginRender, DemoVignette::renderTile, fx::defaults::parameterChanged, fx::defaults::inputRect,
};

bool writePng(const std::string& path, const fx::Image& image)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<std::size_t>(image.width) * 3);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* p = image.row(y);
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = p[4 * x + c];
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string out = argc > 1 ? argv[1] : "out/demo.png";
    const int width = 640, height = 427;
    fx::ImageRef source = fx::makeImage(width, height, 4, 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = source->row(y) + 4 * x;
            p[0] = static_cast<uint8_t>(x * 255 / (width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height - 1));
            p[2] = static_cast<uint8_t>(((x / 40 + y / 40) % 2) ? 200 : 60);
            p[3] = 255;
        }
    fx::ImageRef result = fx::makeImage(width, height, 4, 1);

    std::unique_ptr<fx::Effect, void (*)(fx::Effect*)> effect(DemoVignette::ops.create(), DemoVignette::ops.destroy);
    if (!fx::renderImage(*effect, *source, *result, {.bandHeight = 64})) {
        std::fprintf(stderr, "orvo-demo: rendering failed\n");
        return 1;
    }
    const std::filesystem::path path(out);
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    const std::string temp = out + ".tmp";
    if (!writePng(temp, *result) || std::rename(temp.c_str(), out.c_str()) != 0) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "orvo-demo: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("orvo-demo: rendered \"%s\" over a %dx%d picture in %d-row bands -> %s\n",
                DemoVignette::ops.title(effect.get()), width, height, 64, out.c_str());
    return 0;
}
