#pragma once

// Effects the bridge tests run through a plug-in module (and, for reference results, in memory).
//   Border     3-column box average over 2 x radius + 1 rows: needs borders from inputRect
//   Throw      inverts, but throws on one chosen tile (or from beginRender with a long message)
//   Lookahead  row y takes source row y + shift through sourceAt (effect flag 0x40)
//   Inactive   isActive is false; renderTile would blank the tile
//   Level      writes its amount into channel 0 and its view index into channel 1

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace bridgetest {

inline const char* const kViews[] = {"Output", "Original"};

#define BRIDGETEST_OPS(Type, title, isActive, begin, render, inputRect)                                             \
    inline const char* Type##Title(fx::Effect*) { return title; }                                                 \
    inline const fx::EffectOps Type::ops = {                                                                      \
        fx::createSlot<Type>, fx::cloneSlot<Type>, fx::destroySlot<Type>, Type##Title, fx::defaults::vendorName,   \
        fx::defaults::productTitle, fx::defaults::productKey, fx::defaults::description, nullptr,                  \
        fx::defaults::version, isActive, begin, render, fx::defaults::parameterChanged, inputRect};

struct BorderEffect : fx::Effect {
    enum { Input, Radius, Count };
    static const fx::EffectOps ops;
    BorderEffect() : Effect(&ops)
    {
        table[Input].initInput("input", "Input");
        table[Radius].initRange("borderRadius", "Radius", 0, 100, 3, 0);
        setParameters(table, Count);
    }
    int radius() const { return static_cast<int>(valueAsDouble(Radius)); }

    static void inputRect(fx::Effect& e, fx::RenderInfo*, fx::Rect* r)
    {
        const int radius = static_cast<BorderEffect&>(e).radius();
        r->top -= radius;
        r->bottom += radius;
        r->left -= 1;
        r->right += 1;
    }
    template <class T>
    static void box(const fx::Image& in, fx::Image& out, const fx::Rect& r, int radius)
    {
        using V = typename T::value_type;
        for (int y = r.top; y < r.bottom; ++y) {
            const int y0 = std::max(r.top, y - radius), y1 = std::min(r.bottom - 1, y + radius);
            V* o = out.rowAs<V>(y);
            for (int x = r.left; x < r.right; ++x) {
                const int x0 = std::max(r.left, x - 1), x1 = std::min(r.right - 1, x + 1);
                for (int c = 0; c < 3; ++c) {
                    int64_t sum = 0;
                    for (int yy = y0; yy <= y1; ++yy)
                        for (int xx = x0; xx <= x1; ++xx)
                            sum += in.rowAs<V>(yy)[4 * xx + c];
                    o[4 * x + c] = static_cast<V>(sum / ((y1 - y0 + 1) * (x1 - x0 + 1)));
                }
            }
        }
    }
    static void render(fx::Effect& e, fx::RenderInfo* info)
    {
        const fx::Image& in = *e.params[Input].input.image;
        fx::withChannelTraits(info->sixteenBit, [&](auto t) {
            box<decltype(t)>(in, *info->output, info->renderRect, static_cast<BorderEffect&>(e).radius());
        });
    }
};
BRIDGETEST_OPS(BorderEffect, "Orvo Test Border", fx::defaults::isActive, fx::defaults::beginRender,
               BorderEffect::render, BorderEffect::inputRect)

template <class T>
void invertColours(fx::Image& out, const fx::Rect& r)
{
    using V = typename T::value_type;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            for (int c = 0; c < 3; ++c)
                out.rowAs<V>(y)[4 * x + c] = static_cast<V>(T::fullScale - out.rowAs<V>(y)[4 * x + c]);
}

struct ThrowEffect : fx::Effect {
    enum { Input, FailTile, FailBegin, Count };
    static const fx::EffectOps ops;
    ThrowEffect() : Effect(&ops)
    {
        table[Input].initInput("input", "Input");
        table[FailTile].initRange("throwTile", "Failing Tile", -1, 1000, 1, 0);
        table[FailBegin].initBoolean("throwBegin", "Fail Before Rendering", false);
        setParameters(table, Count);
    }
    static void begin(fx::Effect& e, fx::RenderInfo*)
    {
        if (e.valueAsBool(FailBegin))
            throw std::runtime_error("begin failed: " + std::string(300, 'x'));
    }
    static void render(fx::Effect& e, fx::RenderInfo* info)
    {
        if (info->tileIndex == static_cast<int>(e.valueAsDouble(FailTile)))
            throw std::runtime_error("tile failed");
        fx::withChannelTraits(info->sixteenBit,
                              [&](auto t) { invertColours<decltype(t)>(*info->output, info->renderRect); });
    }
};
BRIDGETEST_OPS(ThrowEffect, "Orvo Test Throw", fx::defaults::isActive, ThrowEffect::begin, ThrowEffect::render,
               fx::defaults::inputRect)

struct LookaheadEffect : fx::Effect {
    enum { Input, Shift, Count };
    static const fx::EffectOps ops;
    LookaheadEffect() : Effect(&ops)
    {
        table[Input].initInput("input", "Input");
        table[Shift].initRange("lookShift", "Shift", 0, 1000, 40, 0);
        setParameters(table, Count);
        setFlagBits(fx::EffectFlag::RerequestTiles);
    }
    static void render(fx::Effect& e, fx::RenderInfo* info)
    {
        fx::Image& out = *info->output;
        const fx::Rect& tile = info->tileRect;
        const int shift = static_cast<int>(e.valueAsDouble(Shift));
        for (int y = tile.top; y < tile.bottom; ++y) {
            const int from = std::min(y + shift, info->imageHeight - 1);
            fx::Rect band;
            fx::Image* source = info->sourceAt({tile.left, from}, &band);
            if (!source)
                throw std::runtime_error("no source");
            const int row = from - source->bounds.top;
            if (row < band.top || row >= band.bottom)
                throw std::runtime_error("sourceAt returned a band without the row");
            const int bufferRow = y - out.bounds.top;
            std::memcpy(out.row(bufferRow) + static_cast<std::size_t>(tile.left - out.bounds.left) * out.bytesPerPixel,
                        source->row(row) + static_cast<std::size_t>(tile.left - source->bounds.left) * source->bytesPerPixel,
                        static_cast<std::size_t>(tile.width()) * out.bytesPerPixel);
        }
    }
};
BRIDGETEST_OPS(LookaheadEffect, "Orvo Test Lookahead", fx::defaults::isActive, fx::defaults::beginRender,
               LookaheadEffect::render, fx::defaults::inputRect)

struct InactiveEffect : fx::Effect {
    static const fx::EffectOps ops;
    InactiveEffect() : Effect(&ops)
    {
        table[0].initInput("input", "Input");
        setParameters(table, 1);
    }
    static bool isActive(const fx::Effect&) { return false; }
    static void render(fx::Effect&, fx::RenderInfo* info)
    {
        fx::Image& out = *info->output;
        for (int y = 0; y < out.height; ++y)
            std::memset(out.row(y), 0, static_cast<std::size_t>(out.width) * out.bytesPerPixel);
    }
};
BRIDGETEST_OPS(InactiveEffect, "Orvo Test Inactive", InactiveEffect::isActive, fx::defaults::beginRender,
               InactiveEffect::render, fx::defaults::inputRect)

struct LevelEffect : fx::Effect {
    enum { Input, Amount, View, Count };
    static const fx::EffectOps ops;
    LevelEffect() : Effect(&ops)
    {
        table[Input].initInput("input", "Input");
        table[Amount].initRange("levelAmount", "Amount", 0, 255, 50, 0);
        table[View].initList("view", "View", kViews, 2, 0);
        setParameters(table, Count);
    }
    static void render(fx::Effect& e, fx::RenderInfo* info)
    {
        fx::withChannelTraits(info->sixteenBit, [&](auto t) {
            using V = typename decltype(t)::value_type;
            const auto level = static_cast<V>(static_cast<int>(e.valueAsDouble(Amount)) * (t.sixteenBit ? 128 : 1));
            const auto view = static_cast<V>(e.valueAsInt(View));
            fx::Image& out = *info->output;
            for (int y = info->renderRect.top; y < info->renderRect.bottom; ++y)
                for (int x = info->renderRect.left; x < info->renderRect.right; ++x) {
                    out.rowAs<V>(y)[4 * x] = level;
                    out.rowAs<V>(y)[4 * x + 1] = view;
                }
        });
    }
};
BRIDGETEST_OPS(LevelEffect, "Orvo Test Level", fx::defaults::isActive, fx::defaults::beginRender,
               LevelEffect::render, fx::defaults::inputRect)

#undef BRIDGETEST_OPS

} // namespace bridgetest
