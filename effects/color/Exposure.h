#pragma once

// The exposure engine shared by "FStop" and "PrinterPoints": red, green and blue exposure for the
// whole image and for the shadows, midtones and highlights, applied as factors 2^x in 16-bit linear
// light. The two effects differ in their exposure scale: (minimum, maximum, default) of the sliders
// and the factor that turns a slider value into stops.

#include "effects/color/ToneEffectSupport.h"
#include "framework/Effect.h"
#include "framework/Parameter.h"

#include <array>
#include <vector>

namespace orvo {

struct ExposureScale {
    double minimum, maximum, defaultValue;
    float stopsPerUnit;
};

struct ExposureEffect : fx::Effect {
    // Record positions: the master group, then the shadows, midtones and highlights groups.
    enum : int {
        Input = 0, ViewParam,
        Master, MasterRed, MasterGreen, MasterBlue, MasterGang, MasterEnd,
        FirstRange, Count = FirstRange + 3 * 8
    };
    static_assert(Count == 32);
    // Inside a range group starting at FirstRange + 8k: begin, position, range, red, green, blue,
    // gang, end.
    static constexpr int rangeStart(int k) { return FirstRange + 8 * k; }
    enum View : int32_t { Output = 0, ShadowsView, MidtonesView, HighlightsView, Original, ViewCount };

    // Exposure offsets from the default (master, shadows, midtones, highlights x R, G, B; ganged
    // groups repeat red), then position and range of each range as fractions.
    struct Settings {
        std::array<double, 12> offsets{};
        std::array<float, 6> ranges{};
        friend bool operator==(const Settings&, const Settings&) = default;
    };

    ExposureEffect(const fx::EffectOps* ops, const ExposureScale& scale);

    int32_t currentView() const { return tone::viewIndex(*this, ViewParam, ViewCount, Original); }
    Settings settings() const;
    bool anyExposure() const;
    void rebuild(const Settings& s);

    ExposureScale scale;
    fx::Parameter own[Count];
    tone::RangeWeights weights[3];
    std::vector<float> factors[3];  // F_R, F_G, F_B over the 32769 linear luminance levels
    Settings built{};
    bool builtValid = false;
};

// The slot functions both effects share.
namespace exposure {
const char* vendorName(fx::Effect* e);
const char* productTitle(fx::Effect* e);
const char* productKey(fx::Effect* e);
bool isActive(const fx::Effect& e);
void beginRender(fx::Effect& e, fx::RenderInfo* info);
void renderTile(fx::Effect& e, fx::RenderInfo* info);
// A gang switch enables its group's green and blue exposure exactly when it is off.
void parameterChanged(fx::Effect& e, int index);
} // namespace exposure

} // namespace orvo
