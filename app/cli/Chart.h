#pragma once

#include "app/core/Document.h"

namespace orvo::cli {

// A synthetic test chart: a smooth sky gradient with a sun and small bright highlights, a grey
// ramp, saturated and skin-like patches, and fine detail (a zone plate and line pairs). Values are
// computed in floating point and rounded to the document's depth (8-bit 0..255, 16-bit 0..32768).
// Throws std::invalid_argument for a size outside 1..32767.
Document makeChart(int32_t width, int32_t height, int depth);

} // namespace orvo::cli
