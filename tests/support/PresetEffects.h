#pragma once

// Effects with one parameter of every kind, for saved parameter sets. The effects differ only in
// their titles, so a set saved from one is a set for the wrong effect in the other.

#include "framework/Effect.h"

namespace fxtest {

inline const char* const kModeItems[] = {"Soft", "Hard", "Mixed"};

inline constexpr char kKindsTitle[] = "Orvo Test Kinds";
inline constexpr char kOtherKindsTitle[] = "Orvo Test Other Kinds";
inline constexpr char kLongKindsTitle[] = "Orvo Test Kinds With A Title Much Too Long For The Blob";

template <const char* Title>
struct KindsEffectOf : fx::Effect {
    enum { Input, Amount, Active, Mode, Tint, Center, Group, Texture, Folder, GroupEnd, Count };

    static const fx::EffectOps ops;

    KindsEffectOf() : Effect(&ops)
    {
        static const double tint[3] = {1, 0.5, 0};
        static const double centre[2] = {0, 0};
        table[Input].initInput("input", "Input");
        table[Amount].initRange("kAmount", "Amount", 0, 100, 50, 1);
        table[Active].initBoolean("kActive", "Active", true);
        table[Mode].initList("kMode", "Mode", kModeItems, 3, 0);
        table[Tint].initColor("kTint", "Tint", tint);
        table[Center].initPoint("kCenter", "Center", centre);
        table[Group].initGroupBegin("kGroup", "Group", true);
        table[Texture].initImageFile("kTexture", "Texture", "QEV Orvo", "textures");
        table[Folder].initPresetFolder("kPresets", "Presets");
        table[GroupEnd].initGroupEnd();
        setParameters(table, Count);
    }

    static const char* titleSlot(fx::Effect*) { return Title; }
    static void renderSlot(fx::Effect&, fx::RenderInfo*) {}
};

template <const char* Title>
inline const fx::EffectOps KindsEffectOf<Title>::ops = {
    fx::createSlot<KindsEffectOf>, fx::cloneSlot<KindsEffectOf>, fx::destroySlot<KindsEffectOf>,
    KindsEffectOf::titleSlot, fx::defaults::vendorName, fx::defaults::productTitle,
    fx::defaults::productKey, fx::defaults::description, nullptr, fx::defaults::version,
    fx::defaults::isActive, fx::defaults::beginRender, KindsEffectOf::renderSlot,
    fx::defaults::parameterChanged, fx::defaults::inputRect,
};

using KindsEffect = KindsEffectOf<kKindsTitle>;
using OtherKindsEffect = KindsEffectOf<kOtherKindsTitle>;
using LongTitleKindsEffect = KindsEffectOf<kLongKindsTitle>;

} // namespace fxtest
