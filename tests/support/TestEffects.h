#pragma once

// Small effects that exercise the framework the way the real effects do.

#include "framework/ChannelTraits.h"
#include "framework/Effect.h"
#include "framework/Image.h"
#include "framework/RenderInfo.h"

#include <cstring>
#include <stdexcept>

namespace fxtest {

inline const char* const kViewItems[] = {"Output", "Original"};

// Inverts the colour channels; every parameter kind once. Parameter 2 off makes it inactive.
struct InvertEffect : fx::Effect {
    enum { Input, Amount, Active, View, Tint, Center, Texture, Group, GroupEnd, Count };
    int beginCalls = 0;
    fx::Rect lastRenderRect;
    fx::Rect lastTileRect;
    int lastTileIndex = -2;
    int lastTileCount = 0;
    bool lastSixteenBit = false;

    static const fx::EffectOps ops;

    InvertEffect() : Effect(&ops)
    {
        static const double white[3] = {1, 1, 1};
        static const double centre[2] = {0, 0};
        table[Input].initInput("input", "Input");
        table[Amount].initRange("testAmount", "Amount", 0, 100, 50, 1);
        table[Active].initBoolean("testActive", "Active", true);
        table[View].initList("view", "View", kViewItems, 2, 0);
        table[Tint].initColor("testTint", "Tint", white);
        table[Center].initPoint("testCenter", "Center", centre);
        table[Texture].initImageFile("testTexture", "Texture", "QEV Orvo", "textures");
        table[Group].initGroupBegin("testGroup", "Group", true);
        table[GroupEnd].initGroupEnd();
        setParameters(table, Count);
    }

    template <class T>
    static void invert(fx::Image& out, const fx::Rect& r)
    {
        using V = typename T::value_type;
        for (int y = r.top; y < r.bottom; ++y) {
            V* p = out.rowAs<V>(y);
            for (int x = r.left; x < r.right; ++x)
                for (int c = 0; c < 3; ++c)
                    p[4 * x + c] = static_cast<V>(T::fullScale - p[4 * x + c]);
        }
    }

    static bool isActiveSlot(const fx::Effect& e) { return e.valueAsBool(Active) != 0; }
    static void beginSlot(fx::Effect& e, fx::RenderInfo*) { ++static_cast<InvertEffect&>(e).beginCalls; }
    static void renderSlot(fx::Effect& e, fx::RenderInfo* info)
    {
        auto& self = static_cast<InvertEffect&>(e);
        self.lastRenderRect = info->renderRect;
        self.lastTileRect = info->tileRect;
        self.lastTileIndex = info->tileIndex;
        self.lastTileCount = info->tileCount;
        self.lastSixteenBit = info->sixteenBit;
        fx::withChannelTraits(info->sixteenBit, [&](auto traits) {
            invert<decltype(traits)>(*info->output, info->renderRect);
        });
    }
    static const char* titleSlot(fx::Effect*) { return "Orvo Test Invert"; }
};

inline const fx::EffectOps InvertEffect::ops = {
    fx::createSlot<InvertEffect>, fx::cloneSlot<InvertEffect>, fx::destroySlot<InvertEffect>,
    InvertEffect::titleSlot, fx::defaults::vendorName, fx::defaults::productTitle,
    fx::defaults::productKey, fx::defaults::description, nullptr, fx::defaults::version,
    InvertEffect::isActiveSlot, InvertEffect::beginSlot, InvertEffect::renderSlot,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

// Every output row takes the input row below it (the last row keeps itself), so it needs a border of
// one row at the bottom: banded renders match a one-tile render only when the border is supplied.
struct ShiftUpEffect : fx::Effect {
    static const fx::EffectOps ops;
    ShiftUpEffect() : Effect(&ops)
    {
        table[0].initInput("input", "Input");
        setParameters(table, 1);
    }
    static void inputRectSlot(fx::Effect&, fx::RenderInfo*, fx::Rect* r) { r->bottom += 1; }
    static void renderSlot(fx::Effect& e, fx::RenderInfo* info)
    {
        fx::Image* in = e.params[0].input.image;
        fx::Image& out = *info->output;
        const fx::Rect& r = info->renderRect;
        for (int y = r.top; y < r.bottom; ++y) {
            const int from = y + 1 < r.bottom ? y + 1 : y;
            std::memcpy(out.row(y), in->row(from), static_cast<std::size_t>(out.bytesPerPixel) * r.width());
        }
    }
    static const char* titleSlot(fx::Effect*) { return "Orvo Test Shift"; }
};

inline const fx::EffectOps ShiftUpEffect::ops = {
    fx::createSlot<ShiftUpEffect>, fx::cloneSlot<ShiftUpEffect>, fx::destroySlot<ShiftUpEffect>,
    ShiftUpEffect::titleSlot, fx::defaults::vendorName, fx::defaults::productTitle,
    fx::defaults::productKey, fx::defaults::description, nullptr, fx::defaults::version,
    fx::defaults::isActive, fx::defaults::beginRender, ShiftUpEffect::renderSlot,
    fx::defaults::parameterChanged, ShiftUpEffect::inputRectSlot,
};

// Throws from renderTile on the tile whose index is failTile.
struct ThrowingEffect : fx::Effect {
    static const fx::EffectOps ops;
    int failTile = 0;
    ThrowingEffect() : Effect(&ops)
    {
        table[0].initInput("input", "Input");
        setParameters(table, 1);
    }
    static void renderSlot(fx::Effect& e, fx::RenderInfo* info)
    {
        if (info->tileIndex == static_cast<ThrowingEffect&>(e).failTile)
            throw std::runtime_error("tile failed");
    }
    static const char* titleSlot(fx::Effect*) { return "Orvo Test Throw"; }
};

inline const fx::EffectOps ThrowingEffect::ops = {
    fx::createSlot<ThrowingEffect>, fx::cloneSlot<ThrowingEffect>, fx::destroySlot<ThrowingEffect>,
    ThrowingEffect::titleSlot, fx::defaults::vendorName, fx::defaults::productTitle,
    fx::defaults::productKey, fx::defaults::description, nullptr, fx::defaults::version,
    fx::defaults::isActive, fx::defaults::beginRender, ThrowingEffect::renderSlot,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

// More than 16 parameters: keeps its own array behind the header and installs it.
struct LargeEffect : fx::Effect {
    static constexpr int Count = 20;
    static const fx::EffectOps ops;
    fx::Parameter own[Count];
    LargeEffect() : Effect(&ops)
    {
        own[0].initInput("input", "Input");
        for (int i = 1; i < Count; ++i)
            own[i].initRange("value", "Value", 0, 100, i, 0);
        own[Count - 1].setKey("last");
        setParameters(own, Count);
    }
    static const char* titleSlot(fx::Effect*) { return "Orvo Test Large"; }
};

inline const fx::EffectOps LargeEffect::ops = {
    fx::createSlot<LargeEffect>, fx::cloneSlot<LargeEffect>, fx::destroySlot<LargeEffect>,
    LargeEffect::titleSlot, fx::defaults::vendorName, fx::defaults::productTitle,
    fx::defaults::productKey, fx::defaults::description, nullptr, fx::defaults::version,
    fx::defaults::isActive, fx::defaults::beginRender, ThrowingEffect::renderSlot,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

// Destroys an instance through its own entry table when the test is done with it.
struct EffectDeleter {
    void operator()(fx::Effect* e) const { if (e) e->ops->destroy(e); }
};

} // namespace fxtest
