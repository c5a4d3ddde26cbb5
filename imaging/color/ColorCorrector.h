#pragma once

#include "framework/Rect.h"

#include <cstdint>
#include <vector>

namespace fx {
class Image;
struct Parameter;
} // namespace fx

namespace imaging {

// One tonal range of the corrector; every field is a parameter value / 100.
struct RangeAdjustment {
    float position = 0;
    float range = 0;
    float brightness = 0;
    float contrast = 0;
    float gamma = 0;
    float gainR = 0;
    float gainG = 0;
    float gainB = 0;
};

// Primary and tonal-range colour correction of 4-channel RGBA pixels: hue rotation and saturation,
// a brightness/contrast/gamma curve with per-channel gains and a flash toward a colour, and three
// luminance-weighted ranges (shadows, midtones, highlights) with their own tone and gains. All of it
// is folded into lookup tables when the settings change; alpha is copied unchanged.
//
// Driven either from its own parameter block (defineParameters / update) or directly by an owner:
// setMaster / setShadows / setMidtones / setHighlights (or setTone, setAll), then setActive(true),
// setTablesOnly(false) when ranges are used, and rebuildTables(is16Bit) before applyRect.
class ColorCorrector {
public:
    enum Range { Shadows = 0, Midtones = 1, Highlights = 2 };
    static constexpr int FullParameterCount = 42;    // master group and the three range groups
    static constexpr int MasterParameterCount = 12;  // master group only

    ColorCorrector() { reset(); }

    // All settings neutral, ranges at their default position/range, flags cleared. Tables are kept.
    void reset();

    // Declares the parameter block (count 42 or 12) into params[0..count). The Position and Range
    // defaults are the ranges' current position/range x 100.
    void defineParameters(fx::Parameter* params, int count) const;
    // Reads the block declared by defineParameters; rebuilds the tables when a value changed or the
    // channel width differs from the last build. Returns whether anything changed.
    bool update(const fx::Parameter* params, int count, bool is16Bit);

    void setMaster(float brightness, float contrast, float gamma, float gainR, float gainG, float gainB);
    // Position and range are stored only when not negative.
    void setShadows(float brightness, float contrast, float gamma, float gainR, float gainG, float gainB,
                    float position, float range);
    void setMidtones(float brightness, float contrast, float gamma, float gainR, float gainG, float gainB,
                     float position, float range);
    void setHighlights(float brightness, float contrast, float gamma, float gainR, float gainG, float gainB,
                       float position, float range);
    // Returns whether the values changed; sets active when any is non-zero.
    bool setTone(float brightness, float contrast, float gamma);
    // Master-only driving without ranges; rebuilds the channel tables.
    void setAll(float hueShift, float saturation, float brightness, float contrast, float gamma,
                float gainR, float gainG, float gainB, bool is16Bit);
    void setHueSaturation(float hueShift, float saturation);
    void setFlash(float amount, float r, float g, float b);

    void setActive(bool on) { active_ = on; }
    void setTablesOnly(bool on) { tablesOnly_ = on; }
    bool active() const { return active_; }
    bool tablesOnly() const { return tablesOnly_; }

    void rebuildTables(bool is16Bit);

    // Correction of pixelCount RGBA pixels; src and dst may be the same row. Tables are rebuilt
    // first when they were last built for the other channel width.
    void applyRow(const uint8_t* src, uint8_t* dst, int32_t pixelCount);
    void applyRow(const uint16_t* src, uint16_t* dst, int32_t pixelCount);
    // In place over rect (buffer coordinates, clipped to the image) of a 4-channel image.
    void applyRect(fx::Image& image, const fx::Rect& rect);

    // The weight of range 0..2 at each pixel's luminance as grey (R = G = B), alpha copied.
    void maskRow(const uint8_t* src, uint8_t* dst, int32_t pixelCount, int whichRange);
    void maskRow(const uint16_t* src, uint16_t* dst, int32_t pixelCount, int whichRange);
    void maskRect(fx::Image& image, const fx::Rect& rect, int whichRange);

    // Read access for owners and tests.
    const RangeAdjustment& range(Range which) const { return ranges_[which]; }
    const uint8_t* channelTable8(int channel) const { return chan8_[channel].data(); }
    const uint16_t* channelTable16(int channel) const { return chan16_[channel].data(); }
    const int32_t* deltaTable(int channel) const { return delta_[channel].data(); }
    // The weight table of a range in the given width, built first when out of date.
    const uint8_t* weightTable8(int whichRange);
    const uint16_t* weightTable16(int whichRange);

private:
    template <class Traits> void buildChannelTables();
    template <class Traits> void buildDeltaTables();
    template <class Traits> typename Traits::value_type* weightTable(int whichRange);
    template <class Traits> void applyRowT(const typename Traits::value_type* src,
                                           typename Traits::value_type* dst, int32_t pixelCount);
    template <class Traits> void maskRowT(const typename Traits::value_type* src,
                                          typename Traits::value_type* dst, int32_t pixelCount, int whichRange);
    void ensureWidth(bool is16Bit);
    void storeRange(Range which, float b, float c, float g, float r, float gr, float bl, float position, float range);
    void invalidateWeights(int whichRange);
    bool anyRangeAdjustment() const;
    bool masterNonNeutral() const;

    float brightness_ = 0, contrast_ = 0, gamma_ = 0;
    float gainR_ = 0, gainG_ = 0, gainB_ = 0;
    float hueShift_ = 0, saturation_ = 0;
    float flashAmount_ = 0;
    float flashColor_[3] = {0, 0, 0};
    RangeAdjustment ranges_[3];

    bool active_ = false;
    bool tablesOnly_ = false;
    bool fullSet_ = false;   // ranges take part (full parameter block or direct range driving)
    int builtWidth_ = 0;     // 8 or 16 after a build, 0 before the first

    std::vector<uint8_t> chan8_[3];
    std::vector<uint16_t> chan16_[3];
    std::vector<uint8_t> weight8_[3];
    std::vector<uint16_t> weight16_[3];
    bool weightValid8_[3] = {false, false, false};
    bool weightValid16_[3] = {false, false, false};
    std::vector<int32_t> delta_[3];
};

} // namespace imaging
