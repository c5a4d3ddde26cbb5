#pragma once

// Matte extraction: a one-channel matte keyed from one channel of a picture (luminance, hue,
// saturation, a colour channel or a pair of them) through a soft tent around a position, optionally
// clipped, shrunk or grown, blurred and inverted. 8-bit channels hold 0..255, 16-bit channels hold
// 0..32768.

#include "framework/ChannelTraits.h"
#include "framework/Image.h"
#include "framework/Parameter.h"
#include "framework/Rect.h"
#include "framework/RenderInfo.h"
#include "imaging/color/SplineCurve.h"

#include <cstdint>
#include <vector>

namespace fx { struct Effect; }

namespace imaging {

// The channel a matte is keyed on; a list parameter stores the index.
enum class ExtractOn : int32_t {
    Luminance = 0,
    Hue,
    Saturation,
    Average,
    Red,
    Green,
    Blue,
    Cyan,
    Magenta,
    Yellow,
};
inline constexpr int32_t kExtractOnCount = 10;
inline constexpr const char* const kExtractOnLabels[kExtractOnCount] = {
    "Luminance", "Hue", "Saturation", "Average", "Red", "Green", "Blue", "Cyan", "Magenta", "Yellow",
};

// The key's response to a channel level: a five-point tent curve around a position, tabulated for
// the channel width in use (256 or 32769 entries) and optionally clipped into a steeper ramp.
class ChannelKey {
public:
    // Identity tables, no curve yet (position 0.5, range 0.5 once setCurve is called), no clip.
    ChannelKey();

    // The natural cubic spline through (p - r, 0), (p - r/2, 0.2), (p, 1), (p + r/2, 0.2), (p + r, 0),
    // 0 outside, clamped to 0..1. A range of 0 (or less) is a tent of no width: the table holds full
    // scale at the level nearest p and 0 everywhere else. Marks the tables dirty.
    void setCurve(float position, float range);
    // Clip black and white, 0..1 each (values outside are limited to it). Marks the tables dirty.
    void setClip(float black, float white);
    float clipBlack() const { return clipBlack_; }
    float clipWhite() const { return clipWhite_; }
    void markDirty() { dirty_ = true; }

    // The table for the channel width of Traits, rebuilt first when dirty or built for the other width:
    // T[i] = trunc(curve(i / full) * full), then, with a clip, T[i] = R[T[i]] through the ramp from lo to
    // hi (0 below lo, full above hi).
    template <class Traits>
    const typename Traits::value_type* table();

private:
    template <class Traits>
    void rebuild(typename Traits::value_type* table);

    SplineCurve curve_;
    float position_ = 0.5f;
    float range_ = 0.5f;
    bool zeroWidth_ = false;
    std::vector<uint8_t> table8_;
    std::vector<uint16_t> table16_;
    int32_t builtBytes_ = 0;  // channel width the current table was built for (0: none)
    bool dirty_ = true;
    float clipBlack_ = 0.0f;
    float clipWhite_ = 0.0f;
    // Stored with the clip and carried along; the extraction does not use them.
    float clipSoftBlack_ = 0.25f;
    float clipSoftWhite_ = 0.25f;
};

// A selection: the channel key plus what turns an extraction into the final matte. Embedded in
// effects as a value; copies share the kept extraction (it is never written in place).
class Selection {
public:
    // Offsets of the twelve parameters that defineSelectionParameters writes.
    enum Offset : int {
        ExtractOnParam = 0,
        PositionParam,
        RangeParam,
        ClipGroup,
        ClipBlackParam,
        ClipWhiteParam,
        ClipGroupEnd,
        AdjustParam,
        BlurXParam,
        BlurYParam,
        GangParam,
        InvertParam,
        ParameterCount,
    };

    // Luminance, position 0.5, range 0.5, no clip, no shrink/grow, no blur, gang on, no invert.
    Selection();

    ChannelKey key;

    int32_t extractOn() const { return extractOn_; }
    float position() const { return position_; }
    float range() const { return range_; }
    double adjust() const { return adjust_; }
    double blurX() const { return blurX_; }
    double blurY() const { return blurY_; }
    bool gang() const { return gang_; }
    bool invert() const { return invert_; }

    // The short form of the glow family: each setter discards the kept extraction when the value
    // changes and rebuilds the curve. position and range as fractions (slider × 0.01 and × 0.02); the
    // blur is a slider value (thousandths of the image height) for both directions.
    void setPosition(float p);
    void setRange(float r);
    void setBlur(double b);
    void setExtractOn(int32_t index);
    void setAdjust(double pixels);
    void setInvert(bool on);
    // Reuse of the kept extraction while frames follow each other (fresh off, reuse on).
    void setReuse(bool reuse, bool fresh);

    // Defines the twelve parameters into params[0..11] (count must be at least 12, else
    // std::invalid_argument); defaults come from this selection. With a prefix every key becomes
    // prefix + key. "Vertical Blur" starts disabled while the gang is on.
    void defineSelectionParameters(fx::Parameter* params, int count, const char* prefix = nullptr) const;

    // Reads the twelve values from params[0..11] (position × 0.01, range × 0.02, clips × 0.01, the rest
    // as stored); rebuilds the curve or marks the tables dirty as needed. A render of another channel
    // width marks the tables dirty. Any change discards the kept extraction. Returns whether any value
    // changed.
    bool updateFromParameters(const fx::Parameter* params, const fx::RenderInfo& info);

    // The gang rule of the group whose first parameter is at `first`: when "Gang Blur" changes,
    // "Vertical Blur" is enabled exactly when the gang is off.
    static void parameterChanged(fx::Effect& effect, int first, int index);

    // A new one-channel image of the source's size and channel width holding the matte over rect
    // (pixels outside rect are unspecified): extraction, shrink/grow, blur, invert. source is a
    // four-channel image; std::invalid_argument otherwise.
    fx::ImageRef buildMatte(const fx::Image& source, const fx::Rect& rect, const fx::RenderInfo& info);

    // How far the matte at a pixel reaches into its neighbourhood, in pixels, for the current values
    // and the render's scale and pass count: the shrink/grow radius plus the blur's border. Callers
    // grow their input rect by it so that bands join without seams.
    struct Reach {
        int32_t x = 0;
        int32_t y = 0;
    };
    Reach reach(const fx::RenderInfo& info) const;

private:
    void discardKept() { kept_.reset(); }
    void rebuildCurve() { key.setCurve(position_, range_); }

    int32_t extractOn_ = 0;
    float position_ = 0.5f;
    float range_ = 0.5f;
    double adjust_ = 0;
    double blurX_ = 0;
    double blurY_ = 0;
    bool gang_ = true;
    bool invert_ = false;
    fx::ImageRef kept_;
    bool reuse_ = true;
    bool fresh_ = true;
};

// Extracts the key's matte of `source` over rect into the one-channel `matte` (same size and channel
// width): per pixel the table value at the channel's level; an undefined hue gives 0.
void extractMatte(const fx::Image& source, fx::Image& matte, const fx::Rect& rect, int32_t extractOn,
                  ChannelKey& key);

// Shrinks (adjust < 0) or grows (adjust > 0) a one-channel matte over rect, in place, by a soft min
// or max filter of radius |scaleX × adjust| along rows and |adjust × scaleY| along columns: the outer
// taps at distance ceil(radius) weigh the fractional part. Grow runs the vertical pass first, shrink
// the horizontal one. Lines end at the rect edge.
void shrinkGrowMatte(fx::Image& matte, const fx::Rect& rect, double adjust, float scaleX, float scaleY);

// The whole radius of one direction as the shrink/grow filter uses it: ceil(|radius|), 0 when none.
int32_t shrinkGrowReach(float radius);

} // namespace imaging
