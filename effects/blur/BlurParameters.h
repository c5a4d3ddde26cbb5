#pragma once

// The horizontal / vertical / gang triple that blur-type effects share, and the border the blur
// needs around a tile. Sizes are thousandths of the image height, converted with the RenderInfo.

#include "framework/Effect.h"
#include "framework/Parameter.h"
#include "framework/Rect.h"
#include "framework/RenderInfo.h"
#include "imaging/blur/SeparableBlur.h"

#include <algorithm>
#include <cstdint>

namespace orvo {

// Parameter indices of a triple starting at h: h horizontal, h + 1 vertical, h + 2 gang.
struct BlurTriple {
    int horizontal;

    int vertical() const { return horizontal + 1; }
    int gang() const { return horizontal + 2; }

    double horizontalValue(const fx::Effect& e) const { return e.valueAsDouble(horizontal); }
    // The vertical value in use: the horizontal one while ganged.
    double verticalValue(const fx::Effect& e) const
    {
        return e.valueAsBool(gang()) ? e.valueAsDouble(horizontal) : e.valueAsDouble(vertical());
    }
    bool any(const fx::Effect& e) const { return horizontalValue(e) > 0 || verticalValue(e) > 0; }

    // The gang rule: a change of the horizontal value while ganged copies it to the vertical one
    // (marked Dirty so the dialog shows it); a change of the gang enables the vertical control
    // exactly when the gang is off.
    void parameterChanged(fx::Effect& e, int index) const
    {
        if (index == horizontal && e.valueAsBool(gang())) {
            fx::Parameter* v = e.parameterAt(vertical());
            v->range.current = e.valueAsDouble(horizontal);
            v->orFlags(fx::ParamFlag::Dirty);
        } else if (index == gang()) {
            e.parameterAt(vertical())->setEnabled(!e.valueAsBool(gang()));
        }
    }

    // The amounts in pixels for the blur.
    float horizontalPixels(const fx::Effect& e, const fx::RenderInfo& info) const
    {
        return info.unitsToPixelsX(static_cast<float>(horizontalValue(e)));
    }
    float verticalPixels(const fx::Effect& e, const fx::RenderInfo& info) const
    {
        return info.unitsToPixelsY(static_cast<float>(verticalValue(e)));
    }
};

// Grows an output rect by the blur's border on each side (imaging::blurBorder of the amounts in
// pixels and the render's pass count), without overflowing.
inline void growByBlur(fx::Rect* rect, float horizontalPixels, float verticalPixels, int32_t extraPasses)
{
    const int64_t dx = imaging::blurBorder(horizontalPixels, extraPasses);
    const int64_t dy = imaging::blurBorder(verticalPixels, extraPasses);
    auto clamp32 = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    rect->left = clamp32(rect->left - dx);
    rect->right = clamp32(rect->right + dx);
    rect->top = clamp32(rect->top - dy);
    rect->bottom = clamp32(rect->bottom + dy);
}

} // namespace orvo
