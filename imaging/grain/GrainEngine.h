#pragma once

// Film grain: per-channel noise whose cell size, strength and softness are set per channel, and
// whose strength follows the pixel's luminance through a "film response" curve (strongest in the
// midtones). The noise is deterministic: it comes from a fixed linear congruential generator
// seeded from the channel number (whole-image coarse grids) or from the channel and the tile index
// (fine noise), so the same render of the same image reproduces the same grain.

#include "framework/Image.h"
#include "framework/Rect.h"
#include "imaging/blur/SeparableBlur.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fx {
struct Parameter;
namespace Plugin { class RenderInfo; }
} // namespace fx

namespace imaging {

// The classic C runtime sequence: s = s * 214013 + 2531011 (mod 2^32), draw = (s >> 16) & 0x7FFF.
// A noise sample is draw / 128, 0..255; the sample 127 leaves a pixel unchanged.
class GrainRandom {
public:
    static constexpr uint32_t kMultiplier = 214013u;
    static constexpr uint32_t kIncrement = 2531011u;

    explicit GrainRandom(uint32_t seed = 1) : state_(seed) {}
    void seed(uint32_t seed) { state_ = seed; }
    uint32_t state() const { return state_; }

    int32_t draw()
    {
        state_ = state_ * kMultiplier + kIncrement;
        return static_cast<int32_t>((state_ >> 16) & 0x7FFF);
    }
    uint8_t sample() { return static_cast<uint8_t>(draw() / 128); }

    // count consecutive samples into out, exactly as count calls of sample() (and leaving the same
    // state), with several independent strides of the sequence in flight.
    void fill(uint8_t* out, std::size_t count);

private:
    uint32_t state_;
};

// The neutral noise sample.
inline constexpr uint8_t kNeutralGrain = 127;

class GrainEngine {
public:
    GrainEngine();

    // Grain cell sizes in pixels at scale 1.
    void setSizes(double r, double g, double b);
    // Percentages; stored / 100.
    void setAmounts(double r, double g, double b);
    // Softness: blur amount of the noise in pixels at scale 1, stored as given.
    void setSoftness(float r, float g, float b);
    // Film response: percentages of the luminance range, stored / 100.
    void setResponse(double position, double range, double minimum);
    // The render's horizontal and vertical scale (1 in the final render, the zoom in a preview).
    void setScale(double horizontal, double vertical);
    // The blur's extra pass count (the RenderInfo pass count).
    void setPasses(int32_t passes);

    double size(int channel) const { return size_[channel]; }
    double amount(int channel) const { return amount_[channel]; }
    float softness(int channel) const { return softness_[channel]; }
    double position() const { return position_; }
    double range() const { return range_; }
    double minimum() const { return minimum_; }
    double horizontalScale() const { return scaleX_; }
    double verticalScale() const { return scaleY_; }
    // Some channel's amount is above 0.
    bool anyAmount() const { return anyAmount_; }

    // Adds grain in place to rect (clipped to the image) of a 4-channel image of 8 or 16 bits per
    // channel; A is kept. The image's bounds give its pixels' whole-image coordinates, which the
    // coarse grids are sampled at; the rect is one tile for the fine noise (its seed is the
    // RenderInfo tile index). The whole-image grids (RenderInfo image size) are built at tile 0
    // when the sizes were set since the last build, or whenever one is missing, and are freed after
    // the last tile. monochrome uses one noise channel and the red amount for all three channels.
    // Throws std::invalid_argument for other channel layouts.
    void render(fx::Image& image, const fx::Rect& rect, const fx::Plugin::RenderInfo& info, bool monochrome);

    // The 256-entry response table, built on the next render after setResponse (or now).
    const uint8_t* response();

    // The cell size of a channel at the current scale: trunc(scale * size), at least 1.
    struct Cells {
        int32_t x = 1, y = 1;
        bool fine() const { return x == 1 && y == 1; }
        bool coarse() const { return x >= 2 && y >= 2; }
    };
    Cells cells(int channel) const;

    // Whether a whole-image grid is held for the channel (between the first and the last tile).
    bool hasGrid(int channel) const { return static_cast<bool>(grid_[channel].image); }

private:
    struct Grid {
        fx::ImageRef image;  // one channel, 8-bit, one sample per cell
        Cells cells;
        int32_t imageWidth = 0, imageHeight = 0;
    };

    void buildResponse();
    void buildGrid(int channel, int32_t imageWidth, int32_t imageHeight);
    void softenNoise(fx::Image& noise, int channel);
    void fillNoiseTile(int channel, fx::Image& noise, const fx::Rect& rect, const fx::Image& image,
                       uint32_t tileIndex);
    void freeGrids();

    double size_[3];
    double amount_[3];
    float softness_[3];
    double position_, range_, minimum_;
    double scaleX_ = 1.0, scaleY_ = 1.0;
    int32_t passes_ = 0;
    bool anyAmount_ = false;
    bool dirty_ = true;          // sizes set since the grids were last built
    bool responseDirty_ = true;  // response settings changed since the table was built

    uint8_t response_[256] = {};
    float weight8_[256] = {};   // the response as the 8-bit weight, response * (1/255)
    float weight16_[256] = {};  // and as the 16-bit weight, response / 255
    Grid grid_[3];

    // Scratch reused between tiles.
    SeparableBlur blur_;
    std::vector<uint8_t> noise_[3];
    std::vector<int32_t> column0_, column1_;
    std::vector<float> columnFraction_;
};

// The grain block other effects declare: 14 records, in this order.
inline constexpr int kGrainParameterCount = 14;
enum GrainParameter : int {
    GrainRSize = 0, GrainGSize, GrainBSize,
    GrainRAmount, GrainGAmount, GrainBAmount,
    GrainRSoftness, GrainGSoftness, GrainBSoftness,
    GrainResponseGroup, GrainPosition, GrainRange, GrainMinimum,
    GrainResponseEnd,
};

// Declares the block into params[0..13] with the engine's current settings as defaults (so owners
// may change the engine's defaults before declaring): "grainRSize" .. "grainBSize" (1..10),
// "grainRAmount" .. "grainBAmount" (0..100, default amount * 100), "grainRSoftness" ..
// "grainBSoftness" (0..100), then the "grainResponse" "Film Response" group with "grainPos",
// "grainRange", "grainMin" (0..100). Red, green and blue controls carry the marks 0x100, 0x200 and
// 0x400, the sizes are integer-valued and the amounts carry 0x4000.
void defineGrainParameters(fx::Parameter* params, const GrainEngine& engine);

// Reads such a block back into the engine: sizes and softness as they are, amounts and response
// as percentages.
void readGrainParameters(const fx::Parameter* params, GrainEngine& engine);

} // namespace imaging
