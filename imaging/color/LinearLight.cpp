#include "imaging/color/LinearLight.h"

#include "framework/Image.h"

#include <cmath>
#include <stdexcept>
#include <vector>

namespace imaging {

namespace {

// Stored level (x = level / full in single precision) to linear light.
float decode(float x)
{
    if (x <= 0.04045f)
        return x * 0.07739938f;
    return std::pow((x + 0.055f) * 0.94786733f, 2.4f);
}

// Linear light (x = level / 32768) to the stored encoding.
float encode(float x)
{
    if (x <= 0.003130805f)
        return x * 12.92f;
    return 1.055f * std::pow(x, 0.41666666f) - 0.055f;
}

int32_t toEntry(float y, int32_t full)
{
    const float v = y * static_cast<float>(full);
    return v >= static_cast<float>(full) ? full : (v > 0 ? static_cast<int32_t>(v) : 0);
}

struct Storage {
    std::vector<uint16_t> decode8, decode16, encode16;
    std::vector<uint8_t> encode8;
    LinearLightTables view;

    Storage() : decode8(256), decode16(32769), encode16(32769), encode8(32769)
    {
        for (int32_t i = 0; i < 256; ++i)
            decode8[i] = static_cast<uint16_t>(toEntry(decode(static_cast<float>(i / 255.0)), 32768));
        for (int32_t i = 0; i <= 32768; ++i) {
            const float x = static_cast<float>(i / 32768.0);
            decode16[i] = static_cast<uint16_t>(toEntry(decode(x), 32768));
            const float y = encode(x);
            encode8[i] = static_cast<uint8_t>(toEntry(y, 255));
            encode16[i] = static_cast<uint16_t>(toEntry(y, 32768));
        }
        view = {decode8.data(), decode16.data(), encode8.data(), encode16.data()};
    }
};

void checkLayouts(const fx::Image& src, const fx::Image& dst, bool srcLinear)
{
    if (src.width != dst.width || src.height != dst.height || src.channels != dst.channels)
        throw std::invalid_argument("linear-light conversion: image sizes differ");
    if ((srcLinear ? src.bytesPerChannel : dst.bytesPerChannel) != 2)
        throw std::invalid_argument("linear-light conversion: linear images are 16-bit");
}

template <class In, class Out>
void mapImage(const fx::Image& src, fx::Image& dst, const Out* table)
{
    const int64_t count = static_cast<int64_t>(src.width) * src.channels;
    for (int32_t y = 0; y < src.height; ++y) {
        const In* s = src.rowAs<In>(y);
        Out* d = dst.rowAs<Out>(y);
        for (int64_t i = 0; i < count; ++i) {
            const uint32_t v = s[i];
            d[i] = table[v > 32768 ? 32768 : v];
        }
    }
}

} // namespace

const LinearLightTables& linearLightTables()
{
    static const Storage storage;
    return storage.view;
}

void toLinear(const fx::Image& src, fx::Image& dst)
{
    checkLayouts(src, dst, false);
    const LinearLightTables& t = linearLightTables();
    if (src.sixteenBit())
        mapImage<uint16_t>(src, dst, t.decode16);
    else
        mapImage<uint8_t>(src, dst, t.decode8);
}

void fromLinear(const fx::Image& src, fx::Image& dst)
{
    checkLayouts(src, dst, true);
    const LinearLightTables& t = linearLightTables();
    if (dst.sixteenBit())
        mapImage<uint16_t>(src, dst, t.encode16);
    else
        mapImage<uint16_t>(src, dst, t.encode8);
}

} // namespace imaging
