// "PrinterPoints": exposure in printer points (-25..75, neutral at 25; twelve points make one stop)
// for the whole image and for the shadows, midtones and highlights, applied in linear light (the
// exposure engine).

#include "effects/color/Exposure.h"

namespace orvo {

extern const fx::EffectOps printerPointsOps;

namespace {

struct PrinterPoints : ExposureEffect {
    PrinterPoints() : ExposureEffect(&printerPointsOps, {-25, 75, 25, 0.083333336f}) {}
};

const char* title(fx::Effect*) { return "Orvo Printer Points"; }

} // namespace

const fx::EffectOps printerPointsOps = {
    fx::createSlot<PrinterPoints>, fx::cloneSlot<PrinterPoints>, fx::destroySlot<PrinterPoints>,
    title, exposure::vendorName, exposure::productTitle, exposure::productKey,
    fx::defaults::description, nullptr, fx::defaults::version, exposure::isActive, exposure::beginRender,
    exposure::renderTile, exposure::parameterChanged, fx::defaults::inputRect,
};

} // namespace orvo
