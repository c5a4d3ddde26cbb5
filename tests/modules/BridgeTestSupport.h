#pragma once

#include "BridgeTestEffects.h"
#include "app/HostTestSupport.h"
#include "app/core/Document.h"
#include "framework/ParameterBlob.h"
#include "framework/RenderLoop.h"

#include <memory>
#include <vector>

namespace bridgetest {

using orvo::Document;

// The document as a 4-channel image (the fourth channel 0).
inline fx::ImageRef toImage(const Document& d)
{
    const int bpc = d.depth() == 16 ? 2 : 1;
    fx::ImageRef image = fx::makeImage(d.width(), d.height(), 4, bpc);
    for (int y = 0; y < d.height(); ++y)
        for (int x = 0; x < d.width(); ++x)
            for (int c = 0; c < 4; ++c) {
                const uint16_t v = c < 3 ? d.at(x, y, c) : 0;
                if (bpc == 2)
                    image->rowAs<uint16_t>(y)[4 * x + c] = v;
                else
                    image->row(y)[4 * x + c] = static_cast<uint8_t>(v);
            }
    return image;
}

inline Document toDocument(const fx::Image& image, int depth)
{
    Document d(image.width, image.height, depth);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c)
                d.at(x, y, c) = depth == 16 ? image.rowAs<uint16_t>(y)[4 * x + c] : image.row(y)[4 * x + c];
    return d;
}

template <class E>
using EffectPtr = std::unique_ptr<E, void (*)(fx::Effect*)>;

template <class E>
EffectPtr<E> makeEffect()
{
    return EffectPtr<E>(fx::createInstance<E>(), [](fx::Effect* e) { e->ops->destroy(e); });
}

// The effect rendered over the whole document as one tile.
inline Document renderInMemory(fx::Effect& effect, const Document& source)
{
    fx::ImageRef in = toImage(source);
    fx::ImageRef out = fx::makeImage(source.width(), source.height(), 4, in->bytesPerChannel);
    fx::renderImage(effect, *in, *out, {source.height()});
    return toDocument(*out, source.depth());
}

inline std::vector<uint8_t> blobOf(fx::Effect& effect, int32_t version = 1)
{
    std::vector<uint8_t> bytes(fx::blobSize(effect));
    fx::writeBlob(effect, bytes.data());
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(version) >> (8 * i));
    return bytes;
}

// A blob of the Level effect with the given amount.
inline std::vector<uint8_t> levelBlob(double amount, int32_t version = 1)
{
    auto e = makeEffect<LevelEffect>();
    e->parameterAt(LevelEffect::Amount)->range.current = amount;
    return blobOf(*e, version);
}

// The Level amount stored in a blob.
inline double levelOf(const std::vector<uint8_t>& blob)
{
    auto e = makeEffect<LevelEffect>();
    e->parameterAt(LevelEffect::Amount)->range.current = -1;
    fx::applyBlob(*e, blob.data(), blob.size());
    return e->valueAsDouble(LevelEffect::Amount);
}

} // namespace bridgetest
