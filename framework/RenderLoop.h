#pragma once

#include "framework/Image.h"

#include <cstdint>

namespace fx {

struct Effect;

struct RenderLoopOptions {
    int32_t bandHeight = 256;  // rows per tile; tiles are full-width bands
    float zoom = 1.0f;         // scale factors handed to the effect
    bool preview = false;
};

// Renders an effect over a whole in-memory image the way the host runs a filter: begin the render,
// then for each full-width band grow it by the effect's inputRect (clamped to the image), fill an
// input buffer and an output copy of it, ask isActive, render, and write the band back; a tile
// whose render raised an exception is written as zeros. source and destination are 4-channel images
// of the same size and channel width (they may be the same image only when the effect needs no
// border). Returns false when any tile failed.
bool renderImage(Effect& effect, const Image& source, Image& destination,
                 const RenderLoopOptions& options = {});

} // namespace fx
