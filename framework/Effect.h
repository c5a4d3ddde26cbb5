#pragma once

#include "framework/Memory.h"
#include "framework/Parameter.h"
#include "framework/Rect.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace fx {

class Image;
struct Effect;
namespace Plugin { class RenderInfo; }
using Plugin::RenderInfo;

// The 15 entry functions through which the host bridge and the dialog drive an effect.
struct EffectOps {
    Effect* (*create)();
    Effect* (*clone)(const Effect& source);
    void (*destroy)(Effect* effect);                       // null does nothing
    const char* (*title)(Effect* effect);                  // e.g. "Orvo Black Mist"
    const char* (*vendorName)(Effect* effect);
    const char* (*productTitle)(Effect* effect);
    const char* (*productKey)(Effect* effect);
    const char* (*description)(Effect* effect);
    const uint8_t* (*reservedBlock)(Effect* effect);       // 16 bytes of per-effect constant data
    void (*version)(Effect* effect, int* major, int* minor, int* patch);
    bool (*isActive)(const Effect& effect);
    void (*beginRender)(Effect& effect, RenderInfo* info);
    void (*renderTile)(Effect& effect, RenderInfo* info);
    void (*parameterChanged)(Effect& effect, int index);
    void (*inputRect)(Effect& effect, RenderInfo* info, Rect* rect);
};

// Effect flag bits the framework reads or sets.
namespace EffectFlag {
inline constexpr uint32_t Initial = 0x2020;
inline constexpr uint32_t RerequestTiles = 0x40;    // host requests the tile again after renderTile; no zoom buttons
inline constexpr uint32_t HostCreated = 0x10000;    // ORed in by the host for instances it creates
} // namespace EffectFlag

// The shared slot implementations most effects use.
namespace defaults {
const char* vendorName(Effect*);      // "Tessmark"
const char* productTitle(Effect*);    // "QEV Orvo v5"
const char* productKey(Effect*);      // "Orvo v5 PS"
const char* description(Effect*);     // ""
void version(Effect*, int* major, int* minor, int* patch);  // 5, 0, 0
bool isActive(const Effect&);         // true
void beginRender(Effect&, RenderInfo*);
void parameterChanged(Effect&, int);
void inputRect(Effect&, RenderInfo*, Rect*);  // input = output
} // namespace defaults

struct PointD { double x = 0, y = 0; };
struct ColorD { double r = 0, g = 0, b = 0; };
struct Color8 { uint8_t r = 0, g = 0, b = 0, a = 0; };
struct Color16 { uint16_t r = 0, g = 0, b = 0, a = 0; };

// An effect instance: this header and 16 embedded parameter records. Effects that need more state
// derive from it (a plain struct, no virtual functions) and keep their fields behind the table; an
// effect with more than 16 parameters keeps its own larger array and installs it with setParameters.
// Instances are allocated through the framework allocator (see createInstance below).
struct Effect {
    static constexpr int EmbeddedParameters = 16;

    const EffectOps* ops = nullptr;
    Parameter* params = table;
    int32_t paramCount = 0;
    int32_t inputCount = 0;
    uint32_t flags = EffectFlag::Initial;
    uint32_t reserved = 0;
    Parameter table[EmbeddedParameters];

    explicit Effect(const EffectOps* o) : ops(o) {}
    // Copies ops, flags and the parameter records. The copy uses its own embedded table when the
    // source did; an effect that installed its own array re-installs it (see cloneInstance).
    Effect(const Effect& source);
    Effect& operator=(const Effect&) = delete;

    int parameterCount() const { return paramCount; }
    Parameter* parameterAt(int i) { return &params[i]; }
    const Parameter* parameterAt(int i) const { return &params[i]; }

    // Value access by index. Callers pass valid indices of parameters of the matching kind.
    double valueAsDouble(int i) const { return params[i].range.current; }
    int32_t valueAsInt(int i) const { return params[i].list.current; }
    uint8_t valueAsBool(int i) const { return params[i].boolean.current; }
    PointD pointValue(int i) const { return {params[i].point.current[0], params[i].point.current[1]}; }
    // ((x + 0.5) * width, (y + 0.5) * height), truncated.
    Point pointInPixels(int i, int32_t width, int32_t height) const;
    ColorD colorValue(int i) const;
    Color8 color8(int i) const;    // (r, g, b) * 255 truncated, alpha 255
    Color16 color16(int i) const;  // (r, g, b) * 32768 truncated, alpha 0x8000
    const char* imageFilePath(int i) const { return params[i].imagePath(); }
    // The image held by Input parameter i with one more reference (the caller releases it).
    Image* inputImage(int i) const;

    // Installs a parameter table: writes each record's index and counts the Input records.
    void setParameters(Parameter* tableStart, int32_t count);
    void setFlagBits(uint32_t bits) { flags |= bits; }
};

// Allocation helpers for the create/clone/destroy slots of an effect type T derived from Effect.
template <class T, class... Args>
T* createInstance(Args&&... args)
{
    static_assert(std::is_base_of_v<Effect, T>);
    void* block = frameworkAlloc(sizeof(T));
    try {
        return new (block) T(std::forward<Args>(args)...);
    } catch (...) {
        frameworkFree(block);
        throw;
    }
}

template <class T>
T* cloneInstance(const Effect& source)
{
    const T& src = static_cast<const T&>(source);
    T* copy = createInstance<T>(src);
    // Re-point the copy at its own records when the source used an array inside itself.
    const auto offset = reinterpret_cast<const char*>(src.params) - reinterpret_cast<const char*>(&src);
    if (offset >= 0 && static_cast<std::size_t>(offset) < sizeof(T))
        copy->setParameters(reinterpret_cast<Parameter*>(reinterpret_cast<char*>(copy) + offset), src.paramCount);
    return copy;
}

template <class T>
void destroyInstance(Effect* effect)
{
    if (!effect)
        return;
    T* self = static_cast<T*>(effect);
    self->~T();
    frameworkFree(self);
}

// Generic slot functions for an effect type T, to put in its EffectOps.
template <class T> Effect* createSlot() { return createInstance<T>(); }
template <class T> Effect* cloneSlot(const Effect& source) { return cloneInstance<T>(source); }
template <class T> void destroySlot(Effect* effect) { destroyInstance<T>(effect); }

} // namespace fx
