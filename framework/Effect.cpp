#include "framework/Effect.h"

#include "framework/Image.h"
#include "framework/Numeric.h"

namespace fx {

namespace defaults {
const char* vendorName(Effect*) { return "Tessmark"; }
const char* productTitle(Effect*) { return "QEV Orvo v5"; }
const char* productKey(Effect*) { return "Orvo v5 PS"; }
const char* description(Effect*) { return ""; }
void version(Effect*, int* major, int* minor, int* patch)
{
    if (major) *major = 5;
    if (minor) *minor = 0;
    if (patch) *patch = 0;
}
bool isActive(const Effect&) { return true; }
void beginRender(Effect&, RenderInfo*) {}
void parameterChanged(Effect&, int) {}
void inputRect(Effect&, RenderInfo*, Rect*) {}
} // namespace defaults

Effect::Effect(const Effect& source)
    : ops(source.ops), flags(source.flags), reserved(source.reserved)
{
    for (int i = 0; i < EmbeddedParameters; ++i)
        table[i] = source.table[i];
    if (source.params == source.table)
        setParameters(table, source.paramCount);
}

Point Effect::pointInPixels(int i, int32_t width, int32_t height) const
{
    const PointValue& p = params[i].point;
    return {truncToInt32((p.current[0] + 0.5) * width), truncToInt32((p.current[1] + 0.5) * height)};
}

ColorD Effect::colorValue(int i) const
{
    const ColorValue& c = params[i].color;
    return {c.current[0], c.current[1], c.current[2]};
}

Color8 Effect::color8(int i) const
{
    const ColorValue& c = params[i].color;
    return {static_cast<uint8_t>(scaleToChannel(c.current[0], 255)),
            static_cast<uint8_t>(scaleToChannel(c.current[1], 255)),
            static_cast<uint8_t>(scaleToChannel(c.current[2], 255)), 255};
}

Color16 Effect::color16(int i) const
{
    const ColorValue& c = params[i].color;
    return {static_cast<uint16_t>(scaleToChannel(c.current[0], 32768)),
            static_cast<uint16_t>(scaleToChannel(c.current[1], 32768)),
            static_cast<uint16_t>(scaleToChannel(c.current[2], 32768)), 0x8000};
}

Image* Effect::inputImage(int i) const
{
    Image* image = params[i].input.image;
    if (image)
        image->retain();
    return image;
}

void Effect::setParameters(Parameter* tableStart, int32_t count)
{
    params = tableStart;
    paramCount = count;
    inputCount = 0;
    for (int32_t i = 0; i < count; ++i) {
        params[i].index = i;
        if (params[i].kind == ParamKind::Input)
            ++inputCount;
    }
}

} // namespace fx
